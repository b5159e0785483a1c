// The two log documents of a copy run: the log (one coloured record per decision) and the
// missing-files list, each an open RTF document held in memory for the life of the process.
#pragma once
#include <windows.h>
#include <atomic>
#include "runstats.h"

#define LOG_DOCUMENT_CAPACITY 0x800000u     // 8,388,608 bytes, terminating zero included
// The end of the log document that ordinary records (levels 0 and 1) never take: once they fill
// the rest, errors and warnings still go in until this is full too, so a long log at the level
// "everything" loses no error that comes after it. 1 MiB holds about 7,000 error records of a
// 100-byte path; a run with more errors than that after the log filled has one cause for most of
// them (a full or vanished destination), which the first thousands show.
#define LOG_RESERVE 0x100000u
// The last bytes of the reserve, kept for the run's summary record alone: it always fits.
#define LOG_SUMMARY_ROOM 1024u
#define MISSING_DOCUMENT_CAPACITY 0x400000u // 4,194,304 bytes, terminating zero included

// Each record is composed in a work area before it is escaped into its document. The area holds
// the longest name a caller types (the 4095 characters of the sources field) with the longest
// message; a longer line (a deep path, a name of escaped units) is composed whole in memory of its
// own, and cut at a character's end only when that memory cannot be had. A unit's escape is never
// cut.
#define LOG_WORK_AREA 4608u

// Colour indexes of the documents' colour table.
#define LOG_COLOUR_DEFAULT 0  // the automatic text colour
#define LOG_COLOUR_BLUE 3     // (0, 0, 255): done
#define LOG_COLOUR_RED 48     // (255, 0, 0): error
#define LOG_COLOUR_OLIVE 20   // (128, 128, 0): warning, stop (yellow is not readable on the grey)

// Log levels of a record.
#define LOG_LEVEL_NOT_COPIED 0 // written when the run's CONF bit 0 is set
#define LOG_LEVEL_DONE 1       // written when the run's CONF bit 2 is clear
#define LOG_LEVEL_ERROR 2      // always written
#define LOG_LEVEL_WARNING 3    // always written

// One document: its zero-terminated text, its capacity, the number of bytes before the zero,
// and the full flag (1 once a record did not fit and was lost; the viewer warns). The log
// document's ordinary records are lost from then on until the next reset, its errors and warnings
// once its reserve is full too. Only the worker of a run writes a document; the viewers read it
// in the same thread after the walk.
struct LogDocument {
    char *text;
    DWORD capacity;
    DWORD length;
    DWORD full;
};
extern LogDocument g_copyLog;     // the log document
extern LogDocument g_missingList; // the missing-files document

// The CONF word of the current run; the worker sets it before it resets the documents.
// CopyLogRecord filters levels 0 and 1 by it.
extern std::atomic<DWORD> g_runConf;

// Write the prologue (font table, 63-entry colour table, paragraph setup) at the start of the
// document, set its length and clear its full flag. The log's reset also zeroes the run's counts.
void ResetCopyLog();
void ResetMissingList();

// Count the record for the run's summary (whatever the level kept, whatever fits), then append
// "<mark> name message\r\n" to the log document in the colour of its level, when the level
// passes the run's CONF. Levels 0 and 1 fit before the reserve, levels 2 and 3 before the
// summary's room; a record that does not fit sets the full flag, and every later record of its
// kind is lost until the next reset.
void CopyLogRecord(const char *name, const char *message, unsigned level);

// A record "> >" of the program rather than of the walk (a message box of a /run start, the
// warning that the log is full): written as CopyLogRecord writes its level, counted nowhere.
void CopyLogNote(const char *message, unsigned level);

// The run's summary record, written last, whatever the log level: "! > > " and the message of
// FormatRunSummary for the counts so far and the time since MarkRunStart, in the default text
// colour. It always fits: nothing else takes the summary's room.
void CopyLogSummary(bool trial);

// Append one line "text\r\n" to the missing-files document: blue when `flag` is non-zero (a
// folder), default colour otherwise (a file).
// A line that does not fit is lost and sets the document's full flag.
void MissingListLine(unsigned flag, const char *text);
// Every line the missing-files document holds, as composed: "D path\r\n" or "F path\r\n", a name
// in its shown form (filesystem.h). The deletion batch file is made from this, never from the
// viewer's text.
const char *MissingListText();

// The first destination folder of a source whose every entry the missing-files document offers
// for deletion (the source was empty or could not be read), as its lines name it; empty when
// there is none. The deletion batch file asks before it deletes that much. Emptied by
// ResetMissingList; written by the missing-in-source check through NoteFolderOfferedWhole, which
// keeps the first folder only, and only while the document holds every line so far (a full
// document no longer offers everything).
extern char g_missingWholeFolder[2 * MAX_PATH];
void NoteFolderOfferedWhole(const char *path);

// Append "\cf<colour> " and `text`, escaped for RTF, after the text found at `end`, when it fits
// in `room` bytes (capacity minus length). Backslash and braces are escaped as "\\", "\{", "\}"
// when they are single-byte characters and as "\'5c", "\'7b", "\'7d" when they are trail bytes of
// a double-byte character; a single-byte line feed becomes "\par" and the line feed. Returns 1
// when appended and 0, writing nothing, when it did not fit: the room test (existing text +
// 2 x text + 17 greater than the room) fails, or the escaped text with its terminating zero and
// the closing brace the viewer appends later would not fit.
int AppendRtfRecord(char *end, DWORD room, const char *text, int colour);
