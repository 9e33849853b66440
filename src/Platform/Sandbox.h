// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

/// Confinement of an engine worker, applied to the calling process once it has loaded what it
/// must and before it reads its first request. Irreversible.
///
/// - No core files; an address-space limit (RLIMIT_AS) when one is given.
/// - No new privileges (setuid programs and file capabilities are inert).
/// - A seccomp filter answering EPERM to what the engine never needs: creating, connecting or
///   accepting sockets (the inherited socket keeps working), running programs, creating
///   processes (threads stay possible: clone with CLONE_THREAD; clone3 answers ENOSYS so that
///   the C library falls back to clone), tracing, signalling other processes, mounting,
///   modules, kexec, reboot, swap, BPF, perf events, keyrings, changing identity, namespaces,
///   io_uring, pushing input into a terminal.
/// - Where the kernel has Landlock: reading only the system's libraries, configuration, fonts
///   and Tesseract's data (/usr, /lib*, /etc, /var/cache/fontconfig, TESSDATA_PREFIX,
///   /proc/self, /sys/devices/system/cpu), writing nothing but /dev/null, and no signal to a
///   process outside the sandbox (from Landlock ABI 6). Without Landlock, or with parts of it
///   missing, the rest still applies.
///
/// In a sanitizer build the address-space limit is not set (the sanitizers reserve terabytes
/// of shadow memory) and the filter lets the sanitizers do what they need at exit (the leak
/// checker's tracing clone and ptrace, the symbolizer's fork and exec).
namespace Sandbox {

struct Options {
    std::uint64_t addressSpaceBytes = 0; // 0 = no limit
    bool confine = true;                 // false: the limits alone, no filter or Landlock
};

struct Applied {
    bool ok = false;     // false: a required step failed (the worker must not run)
    int landlockAbi = 0; // 0 when the file system is not restricted
    std::string problem; // what failed, when !ok
};

Applied apply(const Options& options);

/// Whether this build runs under AddressSanitizer (the sandbox is then relaxed, see above).
bool underSanitizer();

} // namespace Sandbox
