// The files an update leaves beside the program it replaces, named in this
// one place for the updater library, which makes them, and for the program,
// which removes them at its next start:
//   <target>.old, <target>.old1 ... <target>.old99
//       the replaced program, set aside (a running program's file can be
//       renamed, not overwritten) and deleted once it is no longer in use
//   cxu<one to four hex digits>.tmp
//       a download on its way (the names GetTempFileNameA gives)
#pragma once

namespace updata {

// Prefix of the temporary download files.
extern const char kTemporaryPrefix[];

// Aside names: number 0 is <target>.old, number i > 0 <target>.old<i>.
constexpr int kAsideNames = 100;
// Writes aside name number i of target into out (MAX_PATH + 8 bytes); false
// when target is too long for one.
bool aside_name_of(const char* target, int i, char* out);

// The folder part of path with its closing separator, or "." when it has
// none. False when it does not fit into size bytes.
bool folder_of(const char* path, char* out, int size);

// Removes the leftovers of earlier updates of target: temporary download
// files beside it and its aside names, and nothing else. Files still in use
// stay; nothing goes while target itself is missing (the leftovers may then
// be its only copies).
void remove_update_leftovers(const char* target);

}  // namespace updata
