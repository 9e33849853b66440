// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/Sandbox.h"

#include "Platform/UniqueFd.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/landlock.h>
#include <sched.h>
#include <seccomp.h>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace Sandbox {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUnderSanitizer = true;
#else
constexpr bool kUnderSanitizer = false;
#endif
#else
constexpr bool kUnderSanitizer = false;
#endif

bool setLimit(int resource, rlim_t value) {
    const rlimit limit{value, value};
    return ::setrlimit(resource, &limit) == 0;
}

// --- seccomp -------------------------------------------------------------------------------

// Refused with EPERM outright.
constexpr std::string_view kRefused[] = {"socket",
                                         "socketpair",
                                         "connect",
                                         "bind",
                                         "listen",
                                         "accept",
                                         "accept4",
                                         "execve",
                                         "execveat",
                                         "fork",
                                         "vfork",
                                         "ptrace",
                                         "process_vm_readv",
                                         "process_vm_writev",
                                         "mount",
                                         "umount2",
                                         "pivot_root",
                                         "chroot",
                                         "move_mount",
                                         "open_tree",
                                         "fsopen",
                                         "fsconfig",
                                         "fsmount",
                                         "fspick",
                                         "mount_setattr",
                                         "kexec_load",
                                         "kexec_file_load",
                                         "reboot",
                                         "swapon",
                                         "swapoff",
                                         "init_module",
                                         "finit_module",
                                         "delete_module",
                                         "bpf",
                                         "perf_event_open",
                                         "keyctl",
                                         "add_key",
                                         "request_key",
                                         "setuid",
                                         "setgid",
                                         "setreuid",
                                         "setregid",
                                         "setresuid",
                                         "setresgid",
                                         "setfsuid",
                                         "setfsgid",
                                         "setgroups",
                                         "capset",
                                         "unshare",
                                         "setns",
                                         "userfaultfd",
                                         "io_uring_setup",
                                         "io_uring_enter",
                                         "io_uring_register",
                                         "open_by_handle_at",
                                         "name_to_handle_at",
                                         "acct",
                                         "quotactl",
                                         "syslog",
                                         "sethostname",
                                         "setdomainname",
                                         "settimeofday",
                                         "clock_settime",
                                         "clock_adjtime",
                                         "adjtimex",
                                         "iopl"};

// What the sanitizers' exit needs of kRefused.
bool sanitizerNeeds(std::string_view name) {
    return name == "ptrace" || name == "fork" || name == "vfork" || name == "execve" ||
           name == "execveat";
}

bool refuse(scmp_filter_ctx filter, std::string_view name) {
    const int number = seccomp_syscall_resolve_name(std::string(name).c_str());
    if (number == __NR_SCMP_ERROR)
        return true; // not a system call on this architecture
    return seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), number, 0) == 0;
}

// Signals only to this process itself: no kill of the parent or of any other process.
bool refuseSignalsToOthers(scmp_filter_ctx filter) {
    const auto self = static_cast<scmp_datum_t>(::getpid());
    return seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(kill), 1,
                            SCMP_A0_32(SCMP_CMP_NE, self)) == 0 &&
           seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(tgkill), 1,
                            SCMP_A0_32(SCMP_CMP_NE, self)) == 0 &&
           seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(rt_sigqueueinfo), 1,
                            SCMP_A0_32(SCMP_CMP_NE, self)) == 0 &&
           seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(rt_tgsigqueueinfo), 1,
                            SCMP_A0_32(SCMP_CMP_NE, self)) == 0 &&
           refuse(filter, "tkill") && refuse(filter, "pidfd_open") &&
           refuse(filter, "pidfd_send_signal") && refuse(filter, "pidfd_getfd");
}

// Threads (clone with CLONE_THREAD) stay possible, processes do not. clone3 passes its flags
// in memory a filter cannot read, so it is answered ENOSYS: glibc then falls back to clone.
bool refuseProcesses(scmp_filter_ctx filter) {
    return seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) == 0 &&
           (kUnderSanitizer ||
            seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(clone), 1,
                             SCMP_A0_64(SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0)) == 0);
}

bool refuseTerminalInput(scmp_filter_ctx filter) {
    return seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(ioctl), 1,
                            SCMP_A1_32(SCMP_CMP_EQ, TIOCSTI)) == 0 &&
           seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(ioctl), 1,
                            SCMP_A1_32(SCMP_CMP_EQ, TIOCLINUX)) == 0;
}

bool installFilter(std::string& problem) {
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
    if (!filter) {
        problem = "seccomp_init failed";
        return false;
    }
    bool built = refuseProcesses(filter) && refuseTerminalInput(filter) &&
                 (kUnderSanitizer || refuseSignalsToOthers(filter));
    for (const std::string_view name : kRefused)
        if (!(kUnderSanitizer && sanitizerNeeds(name)))
            built = built && refuse(filter, name);
    const int loaded = built ? seccomp_load(filter) : -1;
    seccomp_release(filter);
    if (loaded != 0)
        problem =
            built ? "seccomp_load: " + std::string(std::strerror(-loaded)) : "seccomp rule refused";
    return loaded == 0;
}

// --- Landlock ------------------------------------------------------------------------------

// The ruleset attribute as newer kernels know it (the installed header may be older); the
// fields an older kernel does not know stay zero, which it accepts.
struct RulesetAttributes {
    std::uint64_t handledAccessFs = 0;
    std::uint64_t handledAccessNet = 0;
    std::uint64_t scoped = 0;
};

constexpr std::uint64_t kTruncate = 1ULL << 14;         // ABI 3
constexpr std::uint64_t kIoctlDevice = 1ULL << 15;      // ABI 5
constexpr std::uint64_t kBindTcp = 1ULL << 0;           // ABI 4, network
constexpr std::uint64_t kConnectTcp = 1ULL << 1;        // ABI 4, network
constexpr std::uint64_t kScopeAbstractUnix = 1ULL << 0; // ABI 6
constexpr std::uint64_t kScopeSignal = 1ULL << 1;       // ABI 6

int landlockAbi() {
    const long abi =
        ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    return abi > 0 ? static_cast<int>(abi) : 0;
}

RulesetAttributes handledFor(int abi) {
    RulesetAttributes handled;
    handled.handledAccessFs = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1; // ABI 1
    if (abi >= 2)
        handled.handledAccessFs |= LANDLOCK_ACCESS_FS_REFER;
    if (abi >= 3)
        handled.handledAccessFs |= kTruncate;
    if (abi >= 5)
        handled.handledAccessFs |= kIoctlDevice;
    if (abi >= 4)
        handled.handledAccessNet = kBindTcp | kConnectTcp;
    if (abi >= 6)
        handled.scoped = kScopeAbstractUnix | kScopeSignal;
    return handled;
}

struct Grant {
    std::string path;
    std::uint64_t access;
};

// The suppression files the sanitizers read at exit ("suppressions=PATH" among the
// colon-separated options of LSAN_OPTIONS, ASAN_OPTIONS or UBSAN_OPTIONS).
std::vector<std::string> sanitizerSuppressions() {
    std::vector<std::string> files;
    for (const char* variable : {"LSAN_OPTIONS", "ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
        const char* value = std::getenv(variable);
        std::string_view options = value ? value : "";
        while (!options.empty()) {
            const std::string_view option = options.substr(0, options.find(':'));
            options.remove_prefix(std::min(options.size(), option.size() + 1));
            constexpr std::string_view kKey = "suppressions=";
            if (option.starts_with(kKey))
                files.emplace_back(option.substr(kKey.size()));
        }
    }
    return files;
}

std::vector<Grant> grants() {
    const std::uint64_t read = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR |
                               (kUnderSanitizer ? LANDLOCK_ACCESS_FS_EXECUTE : 0);
    std::vector<Grant> list;
    for (const char* tree : {"/usr", "/lib", "/lib64", "/lib32", "/libx32", "/etc",
                             "/var/cache/fontconfig", "/proc/self", "/sys/devices/system/cpu"})
        list.push_back({tree, read});
    if (const char* tessdata = std::getenv("TESSDATA_PREFIX"); tessdata && *tessdata)
        list.push_back({tessdata, read});
    if (kUnderSanitizer)
        for (const std::string& file : sanitizerSuppressions())
            list.push_back({file, LANDLOCK_ACCESS_FS_READ_FILE});
    // The C library's allocator and OpenMP look at these; refused, they guess.
    for (const char* file : {"/dev/urandom", "/proc/sys/vm/overcommit_memory"})
        list.push_back({file, LANDLOCK_ACCESS_FS_READ_FILE});
    list.push_back({"/sys/devices/system/node", read});
    // Tesseract opens its debug file, /dev/null, for writing; its messages go to stderr if
    // that fails.
    list.push_back(
        {"/dev/null", LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_WRITE_FILE | kTruncate});
    return list;
}

// File rights only for a file; a missing path is no error (not every system has /lib32).
bool addGrant(int ruleset, const Grant& grant, std::uint64_t handled) {
    const UniqueFd where(::open(grant.path.c_str(), O_PATH | O_CLOEXEC));
    struct stat status {};
    if (!where || ::fstat(where.get(), &status) != 0)
        return true;
    constexpr std::uint64_t kFileRights = LANDLOCK_ACCESS_FS_EXECUTE |
                                          LANDLOCK_ACCESS_FS_WRITE_FILE |
                                          LANDLOCK_ACCESS_FS_READ_FILE | kTruncate | kIoctlDevice;
    std::uint64_t access = grant.access & handled;
    if (!S_ISDIR(status.st_mode))
        access &= kFileRights;
    landlock_path_beneath_attr rule{};
    rule.allowed_access = access;
    rule.parent_fd = where.get();
    return ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0;
}

// Best effort: 0 when the kernel has no Landlock or refuses the ruleset.
int restrictFileSystem() {
    const int abi = landlockAbi();
    if (abi < 1)
        return 0;
    const RulesetAttributes handled = handledFor(abi);
    const UniqueFd ruleset(
        static_cast<int>(::syscall(SYS_landlock_create_ruleset, &handled, sizeof handled, 0)));
    if (!ruleset)
        return 0;
    for (const Grant& grant : grants())
        if (!addGrant(ruleset.get(), grant, handled.handledAccessFs))
            return 0;
    if (::syscall(SYS_landlock_restrict_self, ruleset.get(), 0) != 0)
        return 0;
    return abi;
}

} // namespace

bool underSanitizer() {
    return kUnderSanitizer;
}

Applied apply(const Options& options) {
    Applied applied;
    if (!setLimit(RLIMIT_CORE, 0)) {
        applied.problem = "RLIMIT_CORE refused";
        return applied;
    }
    if (options.addressSpaceBytes > 0 && !kUnderSanitizer &&
        !setLimit(RLIMIT_AS, static_cast<rlim_t>(options.addressSpaceBytes))) {
        applied.problem = "RLIMIT_AS refused";
        return applied;
    }
    if (!options.confine) {
        applied.ok = true;
        return applied;
    }
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        applied.problem = "PR_SET_NO_NEW_PRIVS refused";
        return applied;
    }
    applied.landlockAbi = restrictFileSystem();
    applied.ok = installFilter(applied.problem);
    return applied;
}

} // namespace Sandbox
