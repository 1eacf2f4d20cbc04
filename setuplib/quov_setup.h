/* The library for setup programs started by the Quov setup loader: what the loader passed on
 * the command line, the installer's setup records and message tables, the author's data areas,
 * and the requests a setup program may send the loader. Plain C (C89 with <stdint.h>); usable
 * from C, C++ and any language that calls C functions. Link it statically: the loader extracts
 * only the setup program, so no DLL can lie beside it.
 *
 * Rules for every function:
 * - Each returns a quov_status; QUOV_OK (0) is success, and quov_status_text gives the English
 *   text of any code. Results come back through out-parameters, which are left unchanged on
 *   failure unless the function says otherwise.
 * - Text is UTF-16 (wchar_t on Windows). A text goes into a caller's buffer of buffer_size
 *   wchar_t: *needed (when not null) receives the size that holds the text and its terminating
 *   zero. When buffer_size is smaller the call returns QUOV_ERROR_BUFFER_TOO_SMALL and stores an
 *   empty text if buffer_size is at least 1; a null buffer with size 0 asks for the size only.
 * - A quov_setup handle is used by one thread at a time (reads share one file position);
 *   separate handles are independent. Nothing is global, nothing outlives its handle.
 * - No call throws, aborts or lets an allocation failure pass: that is QUOV_ERROR_OUT_OF_MEMORY.
 */
#ifndef QUOV_SETUP_H
#define QUOV_SETUP_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t quov_status;

#define QUOV_OK 0
/* The command line has no /SL5= parameter: the program was started some other way than by the
 * loader (run the installer instead). */
#define QUOV_ERROR_NOT_STARTED_BY_LOADER 1
/* The /SL5= parameter is there but does not have the form the loader writes. */
#define QUOV_ERROR_BAD_LOADER_PARAMETER 2
/* A null pointer where one is required, or an unknown area. */
#define QUOV_ERROR_INVALID_ARGUMENT 3
/* The text does not fit the buffer; *needed says how much it takes. */
#define QUOV_ERROR_BUFFER_TOO_SMALL 4
/* The loader's file named by /SL5= cannot be opened. */
#define QUOV_ERROR_LOADER_FILE_OPEN 5
/* Reading the loader's file failed. */
#define QUOV_ERROR_READ 6
/* The loader's file is not an installer the loader accepts (damaged or not packed). */
#define QUOV_ERROR_PACKAGE_CORRUPT 7
/* The offsets on /SL5= are not those recorded in the loader's file. */
#define QUOV_ERROR_PACKAGE_MISMATCH 8
/* An index (language, message, parameter) or a range in an area lies outside what exists. */
#define QUOV_ERROR_OUT_OF_RANGE 9
/* A stored text does not convert from its code page to UTF-16. */
#define QUOV_ERROR_TEXT_CONVERSION 10
/* The loader's window does not exist (any more): the request was not delivered. */
#define QUOV_ERROR_NO_LOADER_WINDOW 11
#define QUOV_ERROR_OUT_OF_MEMORY 12
/* A failure of the library itself; please report it. */
#define QUOV_ERROR_INTERNAL 13

/* The number of messages in every language's table (numbers 0 to QUOV_MESSAGE_COUNT - 1). */
#define QUOV_MESSAGE_COUNT 207

/* The author's two data areas (quovpack --setup-data and --second-data). */
#define QUOV_AREA_SETUP_DATA 1
#define QUOV_AREA_SECOND_DATA 2

typedef struct quov_setup quov_setup;

/* The English text of a status code (a static string; never null, also for unknown codes). */
const char *quov_status_text(quov_status status);

/* Reads the process's command line (GetCommandLineW), opens the loader's file it names, accepts
 * the installer as the loader does and chooses the language by the loader's rules. *setup
 * receives the handle (null on failure); free it with quov_setup_close. */
quov_status quov_setup_open(quov_setup **setup);
/* The same with the command line given, program name first as the system writes it. */
quov_status quov_setup_open_command_line(const wchar_t *command_line, quov_setup **setup);
/* Closes the loader's file and frees everything of the handle; null is allowed. */
quov_status quov_setup_close(quov_setup *setup);

/* The loader's window (an HWND) from /SL5=, for a program that sends its own messages. */
quov_status quov_setup_loader_window(const quov_setup *setup, void **window);
/* The loader's file as /SL5= names it (the loader's own path, or its 8.3 short form). */
quov_status quov_setup_loader_path(const quov_setup *setup, wchar_t *buffer, size_t buffer_size,
                                   size_t *needed);
/* The parameters behind /SL5= (those the installer was started with), quotes removed. */
quov_status quov_setup_parameter_count(const quov_setup *setup, int32_t *count);
quov_status quov_setup_parameter(const quov_setup *setup, int32_t index, wchar_t *buffer,
                                 size_t buffer_size, size_t *needed);

/* The application name from the setup records (quovpack --name). */
quov_status quov_setup_application_name(const quov_setup *setup, wchar_t *buffer,
                                        size_t buffer_size, size_t *needed);
/* The languages of the installer, in the order they were packed. */
quov_status quov_setup_language_count(const quov_setup *setup, int32_t *count);
/* A language's name (what /Lang= selects), its LANGID and its code page (0: any). */
quov_status quov_setup_language_name(const quov_setup *setup, int32_t language, wchar_t *buffer,
                                     size_t buffer_size, size_t *needed);
quov_status quov_setup_language_id(const quov_setup *setup, int32_t language, uint32_t *langid,
                                   uint32_t *code_page);
/* The language whose texts the loader shows: its choice at start-up (/Lang= among the
 * parameters, then the user's language, then the first), or the last language request. */
quov_status quov_setup_chosen_language(const quov_setup *setup, int32_t *language);
/* Message number (0 to QUOV_MESSAGE_COUNT - 1) of a language's table; empty when the table
 * has no text for it. */
quov_status quov_setup_message(quov_setup *setup, int32_t language, int32_t number,
                               wchar_t *buffer, size_t buffer_size, size_t *needed);

/* Where an area lies in the loader's file and its exact length in bytes (0 when not packed). */
quov_status quov_setup_area(const quov_setup *setup, int32_t area, uint64_t *offset,
                            uint64_t *length);
/* Reads count bytes from position (counted from the area's start) into buffer; the whole range
 * must lie inside the area, else QUOV_ERROR_OUT_OF_RANGE and nothing is read. */
quov_status quov_setup_read_area(quov_setup *setup, int32_t area, uint64_t position,
                                 void *buffer, size_t count);

/* Asks the loader to restart the computer once it has removed the setup program's folder,
 * after this program has ended. Cannot be taken back. */
quov_status quov_setup_request_restart(const quov_setup *setup);
/* Asks the loader to show its own later texts (after this program has ended) in another
 * language; quov_setup_chosen_language reports it from now on. */
quov_status quov_setup_request_language(quov_setup *setup, int32_t language);

#ifdef __cplusplus
}
#endif

#endif
