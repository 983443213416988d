// Machine facts without a window: memory size and the temporary folder.
// (The window functions of this unit live with the desktop program.)
#pragma once

#include <cstdint>
#include <string>

// Total physical memory in bytes as a signed 32-bit value; machines with 4 GiB
// or more report 0xFFFFFFFF (-1), like the memory-status query it stands for.
int32_t TotalPhysicalMemory();
// The temporary folder with a trailing "/" ($TMPDIR when it is a folder, else /tmp).
std::string GetTempDir();

// The private folder for decrypted copies, with a trailing "/":
// "$XDG_RUNTIME_DIR/_Vaultleaf_/" (memory-backed) when that folder exists,
// else "<temporary folder>_Vaultleaf_-<uid>/". Not created here.
std::string TempFolder();
// Creates the folder (one level) when missing; true only when it is then a
// real folder (no link) of this user, readable by nobody else (mode 0700).
bool EnsurePrivateFolder(const std::string& folder);

// Keeps the process's memory, which holds passwords, keys and deciphered
// contents, out of core files and away from other users' debuggers: core
// size limit 0 and not dumpable (ptrace then needs the privilege to trace any
// process). Call first in main. False when either could not be set.
bool HardenProcess();
