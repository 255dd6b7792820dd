#pragma once
// The process's standard descriptors and the files.

#include <cstdint>
#include <string>

// Makes the process independent of how it was started; the entry calls it before anything
// opens a descriptor. Descriptors 0-2 left closed by the launcher are opened on /dev/null,
// since otherwise the journal or a database socket would take their numbers and receive
// what is written to stderr. SIGPIPE and SIGXFSZ are ignored for the process's whole
// life: a reader of stderr that has gone, or a file-size limit (ulimit -f) the journal
// or an SQLite database would pass, costs the writes concerned, which then fail with an
// error (EPIPE, EFBIG) that each writer handles as its own, not the run without a word.
// Raises Exception when /dev/null cannot be opened.
void prepareStandardStreams();

// Files: paths are cp1251 and reach the system in the locale's character set; handles are
// POSIX descriptors, -1 on failure (errno tells why).
std::string GetCurrentDir();
bool ForceDirectories(const std::string& dir);
bool FileExists(const std::string& path);
int FileOpen(const std::string& path, int mode);  // mode 2: read and write
int64_t FileSeek(int handle, int64_t offset, int origin);  // origin 2: from the end
// Creates a new, empty file for reading and writing; fails when anything at all stands at
// the path already, so that no symlink, device or FIFO there is ever opened. A symlink in
// place of the directory that is to hold the file is followed only when it belongs to this
// process's user or to root, who could have put the file anywhere themselves; one that
// someone else planted would take the file out of the directory.
int FileCreate(const std::string& path);
// Removes the entry itself (a symlink is not followed; a directory stays); the directory
// that holds it is reached as in FileCreate.
bool DeleteFile(const std::string& path);
int FileWrite(int handle, const void* buffer, int count);
void FileClose(int handle);
