/* The printer driver library interface: what Tessarin calls in a printer maker's library.
 *
 * A library is a shared object `<name>.so` in Tessarin's program directory, `<name>` being the value of
 * PrinterDll (driver) or PrinterSettingDll (settings) in section [setting] of Tessarin.ini. Every entry has C
 * linkage and every integer is a 32-bit signed value.
 *
 * Per job the calls come in this order: InitPrinter, StartPrint, WriteRipData once per line set (with
 * PausePrint / ResumePrint between writes while the operator pauses), then EndRipData (job complete, or after
 * a write error) or AbortPrint (cancelled). Tessarin never drives one library from two threads at once.
 */
#ifndef TESSARIN_PRINTER_DRIVER_H
#define TESSARIN_PRINTER_DRIVER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* mode is always 1. Non-zero: ready; 0: the job is not started. */
typedef int32_t (*PFN_InitPrinter)(int32_t mode);
/* ripHead48: the 48-byte raster header (twelve little-endian 32-bit words); zero is always 0.
 * Non-zero: started; 0: the job is not started. */
typedef int32_t (*PFN_StartPrint)(const void* ripHead48, int32_t zero);
/* One line set: every plane row of one raster line. > 0 accepted, 0 print failure, < 0 error. */
typedef int32_t (*PFN_WriteRipData)(const void* data, int32_t count);
typedef int32_t (*PFN_EndRipData)(void);
typedef int32_t (*PFN_AbortPrint)(void);
typedef int32_t (*PFN_PausePrint)(void);
typedef int32_t (*PFN_ResumePrint)(void);
/* Never called; must exist. */
typedef int32_t (*PFN_SkipLines)(void);
typedef int32_t (*PFN_EndPrint)(void);
/* Live corrections while a job prints. */
typedef int32_t (*PFN_ChangeFeedingData)(int32_t value);
typedef int32_t (*PFN_GetCurrentPass)(void);
typedef int32_t (*PFN_ChangeBidData)(int32_t value);
/* Ink mode 0, 1 or 2. */
typedef int32_t (*PFN_GetCurrentInkmode)(void);

/* Settings library: shows the printer's own settings; the result is handed back, not interpreted. */
typedef int32_t (*PFN_SettingDialog)(void* parentWindow);

#ifdef __cplusplus
}
#endif

#endif
