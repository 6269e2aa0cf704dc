/* zeliohid.sys: a HID minidriver for virtual I/O modules, for the tests.
 *
 * Each root-enumerated device is one module: vendor and product ID, report
 * length and faults come from the device's hardware key. Its reports are
 * vendor-defined bytes. Output reports the host writes are handed to a
 * user-mode bridge through a control interface (IOCTL_ZELIOHID_NEXT_OUTPUT);
 * the bridge answers with input reports (IOCTL_ZELIOHID_PUT_INPUT), which
 * complete the HID class driver's pending reads. The module's firmware is
 * the bridge's business.
 *
 * Built freestanding with mingw-w64; imports hidclass.sys and ntoskrnl.exe
 * only (a driver importing ntdll is started the wrong way under Wine). */
#include <ntddk.h>
#include <hidusage.h>
#include <hidclass.h>
#include <initguid.h>

#include "hidsim_protocol.h"

/* mingw-w64's hidclass.h numbers the minidriver requests 0-5; these are the
 * values the HID class driver sends. */
#undef IOCTL_HID_GET_DEVICE_DESCRIPTOR
#undef IOCTL_HID_GET_REPORT_DESCRIPTOR
#undef IOCTL_HID_READ_REPORT
#undef IOCTL_HID_WRITE_REPORT
#undef IOCTL_HID_GET_STRING
#undef IOCTL_HID_GET_DEVICE_ATTRIBUTES
#define IOCTL_HID_GET_DEVICE_DESCRIPTOR HID_CTL_CODE(0)
#define IOCTL_HID_GET_REPORT_DESCRIPTOR HID_CTL_CODE(1)
#define IOCTL_HID_READ_REPORT HID_CTL_CODE(2)
#define IOCTL_HID_WRITE_REPORT HID_CTL_CODE(3)
#define IOCTL_HID_GET_STRING HID_CTL_CODE(4)
#define IOCTL_HID_GET_DEVICE_ATTRIBUTES HID_CTL_CODE(9)

/* Minidriver interface of the HID class driver (hidport.h in the WDK, which
 * mingw-w64 does not ship). */
typedef struct _HID_MINIDRIVER_REGISTRATION {
    ULONG Revision;
    PDRIVER_OBJECT DriverObject;
    PUNICODE_STRING RegistryPath;
    ULONG DeviceExtensionSize;
    BOOLEAN DevicesArePolled;
    UCHAR Reserved[3];
} HID_MINIDRIVER_REGISTRATION;

typedef struct _HID_DEVICE_EXTENSION {
    PDEVICE_OBJECT PhysicalDeviceObject;
    PDEVICE_OBJECT NextDeviceObject;
    PVOID MiniDeviceExtension;
} HID_DEVICE_EXTENSION;

#include <pshpack1.h>
typedef struct _HID_DESCRIPTOR {
    UCHAR bLength;
    UCHAR bDescriptorType;
    USHORT bcdHID;
    UCHAR bCountry;
    UCHAR bNumDescriptors;
    struct {
        UCHAR bReportType;
        USHORT wReportLength;
    } DescriptorList[1];
} HID_DESCRIPTOR;
#include <poppack.h>

typedef struct _HID_DEVICE_ATTRIBUTES {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
    USHORT Reserved[11];
} HID_DEVICE_ATTRIBUTES;

NTSTATUS NTAPI HidRegisterMinidriver(HID_MINIDRIVER_REGISTRATION *registration);

#define HID_DESCRIPTOR_TYPE 0x21
#define HID_REPORT_DESCRIPTOR_TYPE 0x22

#define QUEUE_SIZE 64

/* Whole reports, report-ID byte first. */
struct report_ring {
    UCHAR data[QUEUE_SIZE][ZELIOHID_MAX_REPORT];
    ULONG length[QUEUE_SIZE];
    ULONG head, count;
};

struct module {
    KSPIN_LOCK lock;
    BOOLEAN removed;
    ULONG vendor_id, product_id, report_length, hold_writes;
    UNICODE_STRING control_link;
    LIST_ENTRY reads;        /* the class driver's pending IOCTL_HID_READ_REPORT */
    LIST_ENTRY bridge_waits; /* pending IOCTL_ZELIOHID_NEXT_OUTPUT */
    LIST_ENTRY held_writes;  /* writes the "never complete" fault keeps */
    struct report_ring input, output;
    UCHAR descriptor[64];
    ULONG descriptor_length;
};

static NTSTATUS(WINAPI *class_device_control)(DEVICE_OBJECT *device, IRP *irp);

static struct module *module_of(DEVICE_OBJECT *device)
{
    HID_DEVICE_EXTENSION *ext = device->DeviceExtension;
    return ext->MiniDeviceExtension;
}

static void copy_bytes(void *to, const void *from, ULONG n)
{
    volatile UCHAR *d = to;
    const UCHAR *s = from;
    while (n--) *d++ = *s++;
}

static void zero_bytes(void *to, ULONG n)
{
    volatile UCHAR *d = to;
    while (n--) *d++ = 0;
}

static BOOLEAN ring_push(struct report_ring *ring, const UCHAR *data, ULONG length)
{
    ULONG slot;
    if (ring->count == QUEUE_SIZE) return FALSE;
    if (length > ZELIOHID_MAX_REPORT) length = ZELIOHID_MAX_REPORT;
    slot = (ring->head + ring->count) % QUEUE_SIZE;
    copy_bytes(ring->data[slot], data, length);
    ring->length[slot] = length;
    ++ring->count;
    return TRUE;
}

/* Copies the oldest report into `to` (at most `room` bytes) and drops it. */
static ULONG ring_pop(struct report_ring *ring, UCHAR *to, ULONG room)
{
    ULONG length = ring->length[ring->head];
    if (length > room) length = room;
    copy_bytes(to, ring->data[ring->head], length);
    ring->head = (ring->head + 1) % QUEUE_SIZE;
    --ring->count;
    return length;
}

static void list_push(LIST_ENTRY *list, IRP *irp)
{
    InsertTailList(list, &irp->Tail.Overlay.ListEntry);
}

/* Takes the oldest IRP off `list`, or NULL. On a list of cancellable IRPs
 * one whose cancel routine has started is left to that routine. Called with
 * the module's lock held. */
static IRP *list_pop(LIST_ENTRY *list, BOOLEAN cancellable)
{
    while (!IsListEmpty(list)) {
        LIST_ENTRY *entry = RemoveHeadList(list);
        IRP *irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        /* Self-linked, so that a cancel routine's RemoveEntryList is harmless. */
        InitializeListHead(entry);
        if (!cancellable || IoSetCancelRoutine(irp, NULL) != NULL) return irp;
    }
    return NULL;
}

static void WINAPI cancel_bridge_wait(DEVICE_OBJECT *device, IRP *irp)
{
    struct module *m = module_of(device);
    KIRQL irql;

    IoReleaseCancelSpinLock(irp->CancelIrql);
    KeAcquireSpinLock(&m->lock, &irql);
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    InitializeListHead(&irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&m->lock, irql);

    irp->IoStatus.Status = STATUS_CANCELLED;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

static void complete(IRP *irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

/* Ends every pending request of a device that is going away. */
static void flush_all(struct module *m)
{
    LIST_ENTRY done;
    KIRQL irql;
    IRP *irp;

    InitializeListHead(&done);
    KeAcquireSpinLock(&m->lock, &irql);
    m->removed = TRUE;
    while ((irp = list_pop(&m->reads, FALSE))) list_push(&done, irp);
    while ((irp = list_pop(&m->bridge_waits, TRUE))) list_push(&done, irp);
    while ((irp = list_pop(&m->held_writes, FALSE))) list_push(&done, irp);
    KeReleaseSpinLock(&m->lock, irql);

    while (!IsListEmpty(&done)) {
        irp = CONTAINING_RECORD(RemoveHeadList(&done), IRP, Tail.Overlay.ListEntry);
        complete(irp, STATUS_DELETE_PENDING, 0);
    }
}

/* Vendor-defined page, one collection, input and output of `length` - 1
 * bytes without report IDs. */
static void build_descriptor(struct module *m)
{
    const UCHAR count = (UCHAR)(m->report_length - 1);
    const UCHAR descriptor[] = {
        0x06, 0x00, 0xFF, /* Usage Page (vendor 0xFF00) */
        0x09, 0x01,       /* Usage (1) */
        0xA1, 0x01,       /* Collection (Application) */
        0x15, 0x00,       /*   Logical Minimum (0) */
        0x26, 0xFF, 0x00, /*   Logical Maximum (255) */
        0x75, 0x08,       /*   Report Size (8) */
        0x09, 0x02,       /*   Usage (2) */
        0x95, count,      /*   Report Count */
        0x81, 0x02,       /*   Input (Data, Variable, Absolute) */
        0x09, 0x03,       /*   Usage (3) */
        0x95, count,      /*   Report Count */
        0x91, 0x02,       /*   Output (Data, Variable, Absolute) */
        0xC0,             /* End Collection */
    };
    copy_bytes(m->descriptor, descriptor, sizeof(descriptor));
    m->descriptor_length = sizeof(descriptor);
}

static ULONG read_value(HANDLE key, const WCHAR *name, ULONG fallback)
{
    UCHAR buffer[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + sizeof(ULONG)];
    KEY_VALUE_PARTIAL_INFORMATION *info = (KEY_VALUE_PARTIAL_INFORMATION *)buffer;
    UNICODE_STRING string;
    ULONG size = 0, value = fallback;

    RtlInitUnicodeString(&string, name);
    if (NT_SUCCESS(ZwQueryValueKey(key, &string, KeyValuePartialInformation, buffer, sizeof(buffer), &size)) &&
        info->Type == REG_DWORD && info->DataLength == sizeof(ULONG))
        copy_bytes(&value, info->Data, sizeof(ULONG));
    return value;
}

static NTSTATUS WINAPI add_device(DRIVER_OBJECT *driver, DEVICE_OBJECT *fdo)
{
    HID_DEVICE_EXTENSION *ext = fdo->DeviceExtension;
    struct module *m = ext->MiniDeviceExtension;
    HANDLE key;
    NTSTATUS status;

    (void)driver;
    zero_bytes(m, sizeof(*m));
    KeInitializeSpinLock(&m->lock);
    InitializeListHead(&m->reads);
    InitializeListHead(&m->bridge_waits);
    InitializeListHead(&m->held_writes);
    m->vendor_id = 0x1D5A;
    m->product_id = 0x0280;
    m->report_length = 9;
    if (NT_SUCCESS(IoOpenDeviceRegistryKey(ext->PhysicalDeviceObject, PLUGPLAY_REGKEY_DEVICE, KEY_READ, &key))) {
        m->vendor_id = read_value(key, ZELIOHID_VALUE_VENDOR, m->vendor_id);
        m->product_id = read_value(key, ZELIOHID_VALUE_PRODUCT, m->product_id);
        m->report_length = read_value(key, ZELIOHID_VALUE_REPORT_LENGTH, m->report_length);
        m->hold_writes = read_value(key, ZELIOHID_VALUE_HOLD_WRITES, 0);
        ZwClose(key);
    }
    if (m->report_length < 2 || m->report_length > ZELIOHID_MAX_REPORT) m->report_length = 9;
    build_descriptor(m);

    status = IoRegisterDeviceInterface(ext->PhysicalDeviceObject, &GUID_DEVINTERFACE_ZELIOHID_CONTROL, NULL,
                                       &m->control_link);
    if (!NT_SUCCESS(status)) return status;
    fdo->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

static NTSTATUS WINAPI dispatch_pnp(DEVICE_OBJECT *device, IRP *irp)
{
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    HID_DEVICE_EXTENSION *ext = device->DeviceExtension;
    struct module *m = ext->MiniDeviceExtension;

    switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
        m->removed = FALSE;
        IoSetDeviceInterfaceState(&m->control_link, TRUE);
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    case IRP_MN_SURPRISE_REMOVAL:
    case IRP_MN_QUERY_REMOVE_DEVICE:
        flush_all(m);
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    case IRP_MN_CANCEL_REMOVE_DEVICE:
        m->removed = FALSE;
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    case IRP_MN_STOP_DEVICE:
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    case IRP_MN_REMOVE_DEVICE:
        flush_all(m);
        IoSetDeviceInterfaceState(&m->control_link, FALSE);
        RtlFreeUnicodeString(&m->control_link);
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    default:
        break;
    }
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(ext->NextDeviceObject, irp);
}

static NTSTATUS WINAPI dispatch_power(DEVICE_OBJECT *device, IRP *irp)
{
    HID_DEVICE_EXTENSION *ext = device->DeviceExtension;
    PoStartNextPowerIrp(irp);
    IoSkipCurrentIrpStackLocation(irp);
    return PoCallDriver(ext->NextDeviceObject, irp);
}

/* The bytes a write of `packet` took, report-ID byte included (the class
 * driver hands the data without it when the device has no report IDs). */
static ULONG written_length(const struct module *m, const HID_XFER_PACKET *packet)
{
    return packet->reportBufferLen >= m->report_length ? packet->reportBufferLen : packet->reportBufferLen + 1;
}

/* An output report from the host, whole or without its report-ID byte. */
static NTSTATUS host_write(struct module *m, IRP *irp)
{
    HID_XFER_PACKET *packet = irp->UserBuffer;
    UCHAR report[ZELIOHID_MAX_REPORT];
    ULONG length = 0;
    IRP *wait = NULL;
    NTSTATUS status = STATUS_SUCCESS;
    KIRQL irql;

    if (!packet || !packet->reportBuffer) return STATUS_INVALID_PARAMETER;
    zero_bytes(report, sizeof(report));
    if (packet->reportBufferLen >= m->report_length) {
        length = m->report_length;
        copy_bytes(report, packet->reportBuffer, length);
    } else {
        report[0] = packet->reportId;
        length = packet->reportBufferLen + 1;
        copy_bytes(report + 1, packet->reportBuffer, packet->reportBufferLen);
    }

    KeAcquireSpinLock(&m->lock, &irql);
    if (m->removed) {
        status = STATUS_DELETE_PENDING;
    } else if ((wait = list_pop(&m->bridge_waits, TRUE)) == NULL) {
        ring_push(&m->output, report, length);
    }
    if (status == STATUS_SUCCESS && m->hold_writes) {
        IoMarkIrpPending(irp);
        list_push(&m->held_writes, irp);
        status = STATUS_PENDING;
    }
    KeReleaseSpinLock(&m->lock, irql);

    if (wait) {
        IO_STACK_LOCATION *ws = IoGetCurrentIrpStackLocation(wait);
        ULONG room = ws->Parameters.DeviceIoControl.OutputBufferLength;
        if (length > room) length = room;
        copy_bytes(wait->AssociatedIrp.SystemBuffer, report, length);
        complete(wait, STATUS_SUCCESS, length);
    }
    if (status == STATUS_SUCCESS) irp->IoStatus.Information = written_length(m, packet);
    return status;
}

static NTSTATUS host_read(struct module *m, IRP *irp)
{
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    ULONG room = stack->Parameters.DeviceIoControl.OutputBufferLength;
    UCHAR report[ZELIOHID_MAX_REPORT];
    ULONG length = 0;
    NTSTATUS status;
    KIRQL irql;

    KeAcquireSpinLock(&m->lock, &irql);
    if (m->removed) {
        status = STATUS_DELETE_PENDING;
    } else if (m->input.count) {
        length = ring_pop(&m->input, report, sizeof(report));
        status = STATUS_SUCCESS;
    } else {
        IoMarkIrpPending(irp);
        list_push(&m->reads, irp);
        status = STATUS_PENDING;
    }
    KeReleaseSpinLock(&m->lock, irql);

    if (status == STATUS_SUCCESS) {
        /* No report IDs: the class driver wants the data bytes only. */
        ULONG data = length > 1 ? length - 1 : 0;
        if (data > room) data = room;
        copy_bytes(irp->UserBuffer, report + 1, data);
        irp->IoStatus.Information = data;
    }
    return status;
}

static NTSTATUS WINAPI dispatch_internal_ioctl(DEVICE_OBJECT *device, IRP *irp)
{
    static const WCHAR name[] = L"Zelio virtual module";
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    struct module *m = module_of(device);
    const ULONG out_size = stack->Parameters.DeviceIoControl.OutputBufferLength;
    NTSTATUS status;

    irp->IoStatus.Information = 0;
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_HID_GET_DEVICE_DESCRIPTOR: {
        HID_DESCRIPTOR *desc = irp->UserBuffer;
        if (out_size < sizeof(*desc)) {
            status = STATUS_BUFFER_TOO_SMALL;
            break;
        }
        zero_bytes(desc, sizeof(*desc));
        desc->bLength = sizeof(*desc);
        desc->bDescriptorType = HID_DESCRIPTOR_TYPE;
        desc->bcdHID = 0x0111;
        desc->bNumDescriptors = 1;
        desc->DescriptorList[0].bReportType = HID_REPORT_DESCRIPTOR_TYPE;
        desc->DescriptorList[0].wReportLength = (USHORT)m->descriptor_length;
        irp->IoStatus.Information = sizeof(*desc);
        status = STATUS_SUCCESS;
        break;
    }
    case IOCTL_HID_GET_REPORT_DESCRIPTOR:
        if (out_size < m->descriptor_length) {
            status = STATUS_BUFFER_TOO_SMALL;
            break;
        }
        copy_bytes(irp->UserBuffer, m->descriptor, m->descriptor_length);
        irp->IoStatus.Information = m->descriptor_length;
        status = STATUS_SUCCESS;
        break;
    case IOCTL_HID_GET_DEVICE_ATTRIBUTES: {
        HID_DEVICE_ATTRIBUTES *attr = irp->UserBuffer;
        if (out_size < sizeof(*attr)) {
            status = STATUS_BUFFER_TOO_SMALL;
            break;
        }
        zero_bytes(attr, sizeof(*attr));
        attr->Size = sizeof(*attr);
        attr->VendorID = (USHORT)m->vendor_id;
        attr->ProductID = (USHORT)m->product_id;
        attr->VersionNumber = 0x0100;
        irp->IoStatus.Information = sizeof(*attr);
        status = STATUS_SUCCESS;
        break;
    }
    case IOCTL_HID_GET_STRING:
        if (out_size < sizeof(name)) {
            status = STATUS_BUFFER_TOO_SMALL;
            break;
        }
        copy_bytes(irp->UserBuffer, name, sizeof(name));
        irp->IoStatus.Information = sizeof(name);
        status = STATUS_SUCCESS;
        break;
    case IOCTL_HID_READ_REPORT:
        status = host_read(m, irp);
        break;
    case IOCTL_HID_WRITE_REPORT:
    case IOCTL_HID_SET_OUTPUT_REPORT:
        status = host_write(m, irp);
        break;
    default:
        status = STATUS_NOT_SUPPORTED;
        break;
    }
    if (status != STATUS_PENDING) {
        irp->IoStatus.Status = status;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
    }
    return status;
}

/* The bridge's requests on the control interface; everything else goes to
 * the HID class driver. */
static NTSTATUS WINAPI dispatch_device_control(DEVICE_OBJECT *device, IRP *irp)
{
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    const ULONG in_size = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG out_size = stack->Parameters.DeviceIoControl.OutputBufferLength;
    struct module *m;
    UCHAR report[ZELIOHID_MAX_REPORT];
    ULONG length = 0;
    NTSTATUS status = STATUS_SUCCESS;
    LIST_ENTRY done;
    IRP *other = NULL;
    KIRQL irql;

    if (code != IOCTL_ZELIOHID_NEXT_OUTPUT && code != IOCTL_ZELIOHID_PUT_INPUT &&
        code != IOCTL_ZELIOHID_RELEASE_WRITES)
        return class_device_control(device, irp);

    m = module_of(device);
    switch (code) {
    case IOCTL_ZELIOHID_NEXT_OUTPUT:
        KeAcquireSpinLock(&m->lock, &irql);
        if (m->removed) {
            status = STATUS_DELETE_PENDING;
        } else if (m->output.count) {
            length = ring_pop(&m->output, report, sizeof(report));
        } else {
            IoSetCancelRoutine(irp, cancel_bridge_wait);
            if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
                status = STATUS_CANCELLED;
            } else {
                IoMarkIrpPending(irp);
                list_push(&m->bridge_waits, irp);
                status = STATUS_PENDING;
            }
        }
        KeReleaseSpinLock(&m->lock, irql);
        if (status == STATUS_PENDING) return status;
        if (length > out_size) length = out_size;
        if (status == STATUS_SUCCESS) copy_bytes(irp->AssociatedIrp.SystemBuffer, report, length);
        complete(irp, status, status == STATUS_SUCCESS ? length : 0);
        return status;

    case IOCTL_ZELIOHID_PUT_INPUT:
        length = in_size < sizeof(report) ? in_size : sizeof(report);
        copy_bytes(report, irp->AssociatedIrp.SystemBuffer, length);
        KeAcquireSpinLock(&m->lock, &irql);
        if (m->removed)
            status = STATUS_DELETE_PENDING;
        else if ((other = list_pop(&m->reads, FALSE)) == NULL && !ring_push(&m->input, report, length))
            status = STATUS_BUFFER_OVERFLOW;
        KeReleaseSpinLock(&m->lock, irql);
        if (other) {
            IO_STACK_LOCATION *rs = IoGetCurrentIrpStackLocation(other);
            ULONG data = length > 1 ? length - 1 : 0;
            if (data > rs->Parameters.DeviceIoControl.OutputBufferLength)
                data = rs->Parameters.DeviceIoControl.OutputBufferLength;
            copy_bytes(other->UserBuffer, report + 1, data);
            complete(other, STATUS_SUCCESS, data);
        }
        complete(irp, status, 0);
        return status;

    default: /* IOCTL_ZELIOHID_RELEASE_WRITES */
        InitializeListHead(&done);
        KeAcquireSpinLock(&m->lock, &irql);
        while ((other = list_pop(&m->held_writes, FALSE))) list_push(&done, other);
        m->hold_writes = 0;
        KeReleaseSpinLock(&m->lock, irql);
        while (!IsListEmpty(&done)) {
            other = CONTAINING_RECORD(RemoveHeadList(&done), IRP, Tail.Overlay.ListEntry);
            complete(other, STATUS_SUCCESS, written_length(m, other->UserBuffer));
        }
        complete(irp, STATUS_SUCCESS, 0);
        return STATUS_SUCCESS;
    }
}

static void WINAPI driver_unload(DRIVER_OBJECT *driver)
{
    (void)driver;
}

NTSTATUS WINAPI DriverEntry(DRIVER_OBJECT *driver, UNICODE_STRING *registry)
{
    HID_MINIDRIVER_REGISTRATION registration;
    NTSTATUS status;

    zero_bytes(&registration, sizeof(registration));
    registration.Revision = HID_REVISION;
    registration.DriverObject = driver;
    registration.RegistryPath = registry;
    registration.DeviceExtensionSize = sizeof(struct module);
    registration.DevicesArePolled = FALSE;

    driver->DriverExtension->AddDevice = add_device;
    driver->DriverUnload = driver_unload;
    driver->MajorFunction[IRP_MJ_PNP] = dispatch_pnp;
    driver->MajorFunction[IRP_MJ_POWER] = dispatch_power;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = dispatch_internal_ioctl;

    status = HidRegisterMinidriver(&registration);
    if (!NT_SUCCESS(status)) return status;

    /* The class driver now owns IRP_MJ_DEVICE_CONTROL; the bridge's requests
     * are taken off before it sees them. */
    class_device_control = driver->MajorFunction[IRP_MJ_DEVICE_CONTROL];
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_device_control;
    return STATUS_SUCCESS;
}
