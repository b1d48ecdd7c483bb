#pragma once
// File operations the libraries share.
#include <string>

// Moves `from` to `to` unless something exists there (false, errno EEXIST). Some file systems
// (NFS among them) refuse renameat2's RENAME_NOREPLACE with EINVAL; link() then does the same
// job, as it too fails on an existing name, and the old name is removed after.
bool MoveNoReplace(const std::string& from, const std::string& to);
