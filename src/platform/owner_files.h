#pragma once
// Files that hold what only the user may see (drive images with the
// controller's passwords, the FTP/HTTP user file): created new, owner-only,
// and put in place by a rename, so nothing is ever written through a name
// someone else prepared.
#include <cstdio>
#include <string>

namespace vorn::platform {

// Creates a new file for writing raw bytes that only the owner may read or
// write (mode 0600 on POSIX, an owner-only ACL on Windows). Fails when
// anything exists at the path, a symbolic link included. On failure reason
// (when given) holds the system's text.
std::FILE* CreateOwnerOnlyFile(const std::string& utf8Path, std::string* reason = nullptr);

// The same under a fresh name in folder (ending with a separator, or empty for
// the current folder): prefix, random letters, suffix. path receives the name.
std::FILE* CreateUniqueOwnerOnlyFile(const std::string& folder, const std::string& prefix, const std::string& suffix,
                                     std::string& path, std::string* reason = nullptr);

// The folder part of a host path, with its separator; empty for a bare name.
std::string FolderOf(const std::string& utf8Path);

// Puts from in place of to (replacing a file there) in one step; removes
// nothing else. On failure reason holds the system's text.
bool MoveIntoPlace(const std::string& from, const std::string& to, std::string* reason = nullptr);

// Removes a file this run created; false when it could not.
bool RemoveOwnFile(const std::string& utf8Path);

// Writes bytes to path through a new owner-only file beside it that then
// replaces path. A symbolic link at path is replaced, never followed.
bool WriteOwnerOnlyFile(const std::string& utf8Path, const std::string& bytes, std::string* reason = nullptr);

}  // namespace vorn::platform
