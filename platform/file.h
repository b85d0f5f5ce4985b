// Files: the preset, send and record files, and finding the program's folder.
#pragma once
#include <cstdint>
#include "platform/types.h"

// Opens an existing file for reading, shared with nobody. kInvalidHandle on failure.
PlatHandle platFileOpenRead(const char* path);
// Creates a file for writing, replacing any file of that name, shared with nobody.
PlatHandle platFileCreate(const char* path);
// One read of up to n bytes; *got is 0 at end of file. Returns 0 on a read error.
int platFileRead(PlatHandle h, void* buf, uint32_t n, uint32_t* got);
// One write of n bytes; *put tells how many went to the file. Returns 0 on error.
int platFileWrite(PlatHandle h, const void* buf, uint32_t n, uint32_t* put);
// Moves the read position by delta bytes from where it is (back when
// negative). Returns 0 on error.
int platFileSkip(PlatHandle h, int64_t delta);
void platFileClose(PlatHandle h);
// Replaces the file at path with the n bytes of data, or leaves it as it
// was: the bytes go to a new file in the same folder, which takes the old
// one's place only once all of them are on the disk. A full disk, a short
// write or a failed close leaves the old file whole and no new file behind.
// Where path is a link to a file, the file it names is replaced. A path
// that names no file on a disk (a folder, a device) is refused. Returns 1
// when the new file is in place, 0 otherwise.
int platFileReplace(const char* path, const void* data, uint32_t n);

// What tells that a file changed: its size and the time it was last written.
struct PlatFileStamp {
  int64_t size;
  int64_t written;   // in the system's own units; only compared
  bool operator==(const PlatFileStamp& o) const { return size == o.size && written == o.written; }
  bool operator!=(const PlatFileStamp& o) const { return !(*this == o); }
};
// The stamp of the file at path (a file put in its place under the same name
// is the one seen). Returns 0 when there is no such file.
int platFileStamp(const char* path, PlatFileStamp* out);

// A file written whole or not at all (Save Output As): its bytes go to a new
// file beside path, under a name of the program's own, which replaces path
// once the file is complete and flushed. A path that names a folder or
// anything but a file is refused at once. On failure each writes the
// system's reason into why (whySize bytes with the terminating zero).
PlatHandle platFileCreateBeside(const char* path, char* tempPath, uint32_t tempSize, char* why, uint32_t whySize);
// Writes what the system still holds of the file to the disk. 0 on error.
int platFileFlush(PlatHandle h);
// Puts the closed file tempPath in place of path. 0 on failure.
int platFileRenameOver(const char* tempPath, const char* path, char* why, uint32_t whySize);
void platFileRemove(const char* path);
// The system's reason for the last file operation of this thread that
// failed (a platFileWrite or platFileFlush that returned 0).
void platFileErrorText(char* why, uint32_t whySize);

// Searches for an executable file the way SearchPath does, starting in the
// running program's folder. Writes the full path into buf (len bytes with the
// terminating zero) and returns its length; returns the size needed, larger
// than len, when it does not fit (nothing written); 0 when not found.
uint32_t platSearchExecutable(const char* name, char* buf, uint32_t len);
// The character that ends a folder name in a full path ('\\' or '/').
int platIsPathSeparator(char c);

// Whether the program may keep its files in dir, the folder it runs from
// (with its separator; "" is the current folder): a file can be created
// there. The native program never keeps them in a folder of installed
// programs (one named bin or sbin: /usr/bin, /usr/local/bin...), whoever
// runs it, root too.
int platFolderKeepsFiles(const char* dir);
// The user's own folder for the program's files, created when missing, with
// its separator: %APPDATA%\Zelto\ on Windows, $XDG_CONFIG_HOME/zelto/ (by
// default ~/.config/zelto/) natively. Returns its length; 0 when there is
// none; the size needed, larger than len, when it does not fit.
uint32_t platUserFolder(char* buf, uint32_t len);

// ---- Files received by a protocol (XMODEM, YMODEM) ----
// Creates a new file for writing; fails (kInvalidHandle) when the name is
// taken, so nothing is ever written over.
PlatHandle platFileCreateNew(const char* path);
// Gives the file at from the name to, which must not be taken: 1 when
// done, 0 when to exists (nothing changed), -1 on another failure.
int platFileRenameNew(const char* from, const char* to);
// Deletes the file at path; 0 when it could not be deleted.
int platFileDelete(const char* path);
// The user's download folder, with its separator: the Downloads known
// folder on Windows; XDG_DOWNLOAD_DIR (the environment, else the user's
// user-dirs.dirs), else ~/Downloads natively, created when missing.
// Returns its length; 0 when there is none; the size needed, larger than
// len, when it does not fit.
uint32_t platDownloadFolder(char* buf, uint32_t len);
