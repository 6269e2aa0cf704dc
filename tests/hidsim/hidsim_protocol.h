/* What the virtual-module driver (zeliohid.sys) and its user-mode side agree
 * on: the control interface, its requests and the per-device settings. C, so
 * that the driver can include it. */
#ifndef ZELIO_HIDSIM_PROTOCOL_H
#define ZELIO_HIDSIM_PROTOCOL_H

/* Control interface registered on every virtual device, next to its HID
 * interface. The bridge opens it to take output reports and give input
 * reports. */
DEFINE_GUID(GUID_DEVINTERFACE_ZELIOHID_CONTROL,
    0x6f1c2a41, 0x3b7d, 0x4e2a, 0x9c, 0x51, 0x2e, 0x8a, 0x44, 0x10, 0xd3, 0x7b);

/* Waits for the next output report the host wrote; the output buffer gets
 * the whole report, report-ID byte first. */
#define IOCTL_ZELIOHID_NEXT_OUTPUT \
    CTL_CODE(FILE_DEVICE_UNKNOWN, 0x900, METHOD_BUFFERED, FILE_ANY_ACCESS)
/* One whole input report (report-ID byte first) for the host's readers. */
#define IOCTL_ZELIOHID_PUT_INPUT \
    CTL_CODE(FILE_DEVICE_UNKNOWN, 0x901, METHOD_BUFFERED, FILE_ANY_ACCESS)
/* Completes the writes held by the "writes never complete" fault. */
#define IOCTL_ZELIOHID_RELEASE_WRITES \
    CTL_CODE(FILE_DEVICE_UNKNOWN, 0x902, METHOD_BUFFERED, FILE_ANY_ACCESS)

/* Longest report, report-ID byte included. */
#define ZELIOHID_MAX_REPORT 65

/* Hardware ID the INF matches, and the enumerator of the instance IDs. */
#define ZELIOHID_HARDWARE_ID L"ZELIOHID"
#define ZELIOHID_INSTANCE_PREFIX L"ROOT\\ZELIOHID\\"

/* REG_DWORD values in each device's hardware key (DIREG_DEV), read when the
 * driver adds the device. */
#define ZELIOHID_VALUE_VENDOR L"VendorId"
#define ZELIOHID_VALUE_PRODUCT L"ProductId"
#define ZELIOHID_VALUE_REPORT_LENGTH L"ReportLength" /* 9 or 65 */
#define ZELIOHID_VALUE_HOLD_WRITES L"HoldWrites"     /* 1: writes never complete */

#endif
