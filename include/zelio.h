/*
 * libzelio: the C interface to the ZEL280/ZEL260 USB HID I/O modules.
 *
 * The same module link and command set as zelioctl and the GUI, behind a
 * plain C ABI: an opaque context, integers, plain structs, NUL-terminated
 * UTF-8 strings. No C++ types and no exceptions cross this boundary.
 *
 * Product IDs: a module runs under an ID of its own (0x281-0x289 for a
 * ZEL280, 0x261-0x269 for a ZEL260) and enumerates as 0x280 or 0x260 while it
 * is in setting mode. Configuration, firmware version and reset are commands
 * for a module in setting mode.
 *
 * Addressing a module: every function that talks to a module takes a product
 * ID. 0 means "the selected module" (zelio_select, zelio_select_path,
 * zelio_select_serial, zelio_select_port). Each
 * call finds the module anew, so a module that re-enumerates (after
 * zelio_reset or zelio_change_id_to_260) is simply addressed by its new ID.
 * Finding asks the system for the family's devices only, and the answer is
 * kept until a device comes or goes; no other device is ever opened.
 *
 * Blocking: every command waits 40 ms before it is sent (the module needs the
 * pause between commands), then opens the module, checks its IDs, sends, and
 * closes it again. A command with a reply then waits up to 2000 ms for it.
 * Nothing runs in the background and nothing stays open between calls; every
 * function returns when it is done.
 *
 * Other programs: a module serves one command at a time, whichever program
 * sends it (zelioctl, the window, other contexts). A command waits up to 3 s
 * for another's to end and fails with ZELIO_ERR_BUSY after that, sending
 * nothing. zelio_write_config keeps the module from the write to its
 * read-back.
 *
 * Threads: a context is not thread-safe. Use one context per thread (a
 * context may move between threads when calls on it never overlap). Contexts
 * are independent of each other; zelio_strerror may be called from anywhere.
 *
 * Errors: every function returns a zelio_error; ZELIO_OK is 0. The values are
 * those of zelioctl's exit status. zelio_last_error tells what failed and the
 * system's reason.
 */
#ifndef ZELIO_H
#define ZELIO_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(ZELIO_BUILDING_LIBRARY)
#    define ZELIO_API __declspec(dllexport)
#  elif defined(ZELIO_STATIC)
#    define ZELIO_API
#  else
#    define ZELIO_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define ZELIO_API __attribute__((visibility("default")))
#else
#  define ZELIO_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result of every call; the same numbers as zelioctl's exit status. */
typedef enum zelio_error {
    ZELIO_OK = 0,
    ZELIO_ERR_IO = 1,         /* the module or the system failed to move the report */
    ZELIO_ERR_USAGE = 2,      /* bad argument; nothing was sent */
    ZELIO_ERR_NO_MODULE = 3,  /* no such module is attached */
    ZELIO_ERR_ACCESS = 4,     /* the system refused access to the device */
    ZELIO_ERR_AMBIGUOUS = 5,  /* more than one module has this product ID */
    ZELIO_ERR_VERIFY = 6,     /* the configuration read back differs from the one written */
    ZELIO_ERR_TIMEOUT = 7,    /* the module did not answer in time */
    ZELIO_ERR_BUSY = 8        /* another program kept the module for longer than 3 s; nothing was sent */
} zelio_error;

/* What a module is doing, from the product ID it enumerates with. */
typedef enum zelio_mode {
    ZELIO_MODE_IO = 0,      /* normal I/O operation (0x261-0x269, 0x281-0x289) */
    ZELIO_MODE_SETTING = 1  /* setting mode (0x260, 0x280) */
} zelio_mode;

#define ZELIO_PATH_MAX 512

/* One attached module of the family, as zelio_list reports it. */
typedef struct zelio_module_info {
    uint16_t product_id;         /* e.g. 0x280 */
    char model[8];               /* "ZEL280" or "ZEL260" */
    int mode;                    /* a zelio_mode */
    char path[ZELIO_PATH_MAX];   /* the system's device path (UTF-8); empty when longer than fits */
} zelio_module_info;

#define ZELIO_PORT_MAX 64
#define ZELIO_SERIAL_MAX 128

/* One attached module with where it is plugged in, as zelio_list_details
 * reports it. A text longer than fits is empty, as in zelio_module_info. */
typedef struct zelio_module_detail {
    zelio_module_info info;
    char port[ZELIO_PORT_MAX];      /* the USB port ("1-1.4" on Linux); empty when unknown */
    char serial[ZELIO_SERIAL_MAX];  /* the USB serial number (UTF-8); empty when the module has none */
} zelio_module_detail;

/* A module's configuration. Mask bit 7 (0x80) is channel 1, bit 0 channel 8.
 * An open-drain bit wins over an input bit. */
typedef struct zelio_config {
    uint16_t product_id;     /* the ID the module runs under: 0x261-0x269 or 0x281-0x289 */
    uint8_t open_drain_mask; /* 1: open-drain output, 0: push/pull */
    uint8_t high_mask;       /* an output's default level, 1: high */
    uint8_t input_mask;      /* 1: input */
} zelio_config;

/* Flags of zelio_write_config. */
#define ZELIO_WRITE_VERIFY 1u  /* read the configuration back and compare */

typedef struct zelio_context zelio_context;

/* Opens a context on the system's HID devices (the HID class driver on
 * Windows, hidraw on Linux). Touches no device. *ctx is NULL on failure. */
ZELIO_API int zelio_open(zelio_context** ctx);

/* Opens a context on emulated modules instead, for tests without hardware:
 * a ZEL280 in setting mode (0x280, firmware 1.2, port 1-1.1, serial number
 * EMU0001) and a ZEL260 in I/O mode at 0x261 (firmware 1.0, port 1-1.2,
 * serial number EMU0002), as `zelioctl --emulate`. The modules react as real
 * ones do (a reset moves the ZEL280 to its ID, an ID change brings the
 * ZEL260 back as 0x260); see zelio_emulate for faults. They keep real time:
 * the 40 ms pause and a 2 s time-out take as long as with real modules. */
ZELIO_API int zelio_open_emulated(zelio_context** ctx);

/* Closes the context and every device it holds. NULL is allowed. */
ZELIO_API void zelio_close(zelio_context* ctx);

/* What the last call on `ctx` that failed said: the failing step and the
 * system's reason ("open /dev/hidraw3: Permission denied"); "" after a call
 * that succeeded. Valid until the next call on `ctx`. Never NULL. */
ZELIO_API const char* zelio_last_error(const zelio_context* ctx);

/* A short English text for an error code ("time-out"). Never NULL. */
ZELIO_API const char* zelio_strerror(int error);

/* Lists the attached modules of the family in enumeration order: opens each
 * HID interface once to read its IDs; sends nothing and does not pause. Writes up to `capacity`
 * entries to `out` (which may be NULL when `capacity` is 0) and the number of
 * modules attached to *count, which may exceed `capacity`. */
ZELIO_API int zelio_list(zelio_context* ctx, zelio_module_info* out, size_t capacity, size_t* count);

/* zelio_list with each module's USB port and serial number. */
ZELIO_API int zelio_list_details(zelio_context* ctx, zelio_module_detail* out, size_t capacity, size_t* count);

/* Selects the module that product ID 0 stands for in the calls below, by its
 * product ID; the module must be attached now and be the only one with that
 * ID (ZELIO_ERR_AMBIGUOUS otherwise: select it by path). 0 clears the
 * selection. Sends nothing. */
ZELIO_API int zelio_select(zelio_context* ctx, uint16_t product_id);

/* Selects the module at a device path (from zelio_list). The device is opened
 * once to check that it is a module of the family (ZELIO_ERR_ACCESS when the
 * system refuses). Later calls with product ID 0 go to this device only.
 * Sends nothing. */
ZELIO_API int zelio_select_path(zelio_context* ctx, const char* path);

/* Select the module with a USB serial number, or plugged into a USB port
 * ("1-1.4"), as zelio_list_details shows them. As with zelio_select_path,
 * the module must be attached now and the device opens once
 * (ZELIO_ERR_ACCESS when the system refuses). It must be the only one
 * matching (ZELIO_ERR_AMBIGUOUS: two modules with the same serial number;
 * select them by port). Later calls with product ID 0 go to the module with
 * that serial number or at that port, whatever ID it runs under then.
 * ZELIO_ERR_USAGE for NULL, "" or a text longer than ZELIO_SERIAL_MAX - 1 or
 * ZELIO_PORT_MAX - 1 bytes. Sends nothing. */
ZELIO_API int zelio_select_serial(zelio_context* ctx, const char* serial);
ZELIO_API int zelio_select_port(zelio_context* ctx, const char* port);

/* Command 0x40: the firmware version byte, e.g. 0x12 for version 1.2. Waits
 * for the reply (up to 2 s). */
ZELIO_API int zelio_firmware_version(zelio_context* ctx, uint16_t product_id, uint8_t* version);

/* Command 0x43 with p1=0: the stored configuration. Waits for the reply (up
 * to 2 s). *config is left untouched on failure. */
ZELIO_API int zelio_read_config(zelio_context* ctx, uint16_t product_id, zelio_config* config);

/* Command 0x43 with p1=1: stores `config` in the module and waits for its
 * confirmation (up to 2 s). config->product_id must be one of the module's
 * family (0x281-0x289 for a ZEL280, 0x261-0x269 for a ZEL260); the module
 * starts under it after a reset or reconnection. With ZELIO_WRITE_VERIFY the
 * configuration is read back (one more command, up to 2 s more) and
 * ZELIO_ERR_VERIFY returned when it differs. */
ZELIO_API int zelio_write_config(zelio_context* ctx, uint16_t product_id, const zelio_config* config,
                                 unsigned flags);

/* Command 0x45: drives output `channel` (1-8) steady high (`level` != 0) or
 * low (`level` 0). No reply: returns once the report is written. */
ZELIO_API int zelio_output(zelio_context* ctx, uint16_t product_id, int channel, int level);

/* Command 0x45 with a blink byte: output `channel` (1-8) blinks, `high_tenths`
 * and `low_tenths` (0-15 each) tenths of a second high and low. The byte is
 * high_tenths * 16 + low_tenths, so 5 and 5 send 0x55; a byte 0 (0 and 0)
 * means steady high to the module. No reply. */
ZELIO_API int zelio_blink(zelio_context* ctx, uint16_t product_id, int channel, int high_tenths, int low_tenths);

/* Command 0x4F: the module leaves setting mode and starts under its
 * configured ID. Waits for the confirmation (up to 2 s); the module then
 * re-enumerates, which takes the system a moment. */
ZELIO_API int zelio_reset(zelio_context* ctx, uint16_t product_id);

/* Command 0x47 with p1=2 to a ZEL260 running at 0x261-0x269: it comes back in
 * setting mode as 0x260. No reply. */
ZELIO_API int zelio_change_id_to_260(zelio_context* ctx, uint16_t product_id);

/* Faults of emulated modules, for testing a program's error handling. */
typedef enum zelio_emulation {
    ZELIO_EMULATE_HEALTHY = 0,       /* no fault (undoes the faults below) */
    ZELIO_EMULATE_SILENT = 1,        /* takes commands, never replies: ZELIO_ERR_TIMEOUT */
    ZELIO_EMULATE_REFUSE_WRITES = 2, /* every write fails: ZELIO_ERR_IO */
    ZELIO_EMULATE_GARBLED = 3,       /* every reply's data bytes are 0xFF: writes fail to verify */
    ZELIO_EMULATE_TWIN = 4,          /* plugs in a second module with the same product ID and
                                        serial number, at the next port */
    ZELIO_EMULATE_LOCKED = 5         /* the system refuses to open the module, as without access
                                        rights: zelio_list still lists it (nothing is opened to
                                        list), selecting its path and commands to it fail
                                        with ZELIO_ERR_ACCESS */
} zelio_emulation;

/* Changes the emulated module with `product_id` (0: the selected one) as
 * `what` says. ZELIO_ERR_USAGE on a context from zelio_open. */
ZELIO_API int zelio_emulate(zelio_context* ctx, uint16_t product_id, int what);

#ifdef __cplusplus
}
#endif

#endif /* ZELIO_H */
