#pragma once
// What the file-system folders ask of the host they run on. host_folders.cpp
// holds what every host shares; posix/ and win/ answer the questions below.
// The pure helpers at the end are shared too, so they can be tried anywhere.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/host_folders.h"

namespace vorn::folders_detail {

// Paths travel as UTF-8 strings; the host decides how its file system spells them.
std::filesystem::path ToPath(const std::string& utf8);
std::string ToUtf8(const std::filesystem::path& path);

// The user's home (profile) folder; empty when the host has none.
std::string HomeFolder();

// Fills isFolder, size, modified and the attribute bits of an item whose name
// and fullPath are set. A link counts as what it points to. An item that can't
// be read keeps its defaults, so it still shows.
void ReadFacts(HostItem& item);

// The items of the computer folder: the volumes and the home folder.
std::vector<HostItem> ComputerItems(const FileSystemFoldersOptions& options);

// Whether the host accepts name for one item in a folder.
bool ValidName(const std::string& name);

// The host's own type name for an item; empty leaves it to the shared one.
std::string HostTypeName(const HostItem& item);

// Moves from to to, never replacing an item that is already there.
bool MoveNoReplace(const std::string& from, const std::string& to, std::string& error);

// Deletes a file, or a folder with everything in it. A link goes by itself:
// what it points to stays.
bool RemoveTree(const std::string& fullPath, std::string& error);

// The host's name for the place deleted items go to.
std::string TrashName();

// --- Shared pure helpers ---

// A Windows file time (100 ns ticks since 1601) as seconds since 1970; 0 stays 0.
int64_t UnixSecondsFromFileTime(uint64_t ticks);

// How a drive shows in the computer folder: "Data (D:)", or "Local Disk (C:)"
// when the volume has no label.
std::string DriveDisplayName(const std::string& label, const std::string& kind, char letter);

// Whether Windows takes name as one item's name: no separators or wildcards,
// no control characters, no trailing blank or dot (it would drop them), and no
// device name such as "CON" or "com1.txt" (it would open the device).
bool ValidWindowsName(const std::string& name);

}  // namespace vorn::folders_detail
