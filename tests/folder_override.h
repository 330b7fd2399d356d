// For tests that need a folder to refuse writes: the tests run as root, and
// root writes into any folder until it drops CAP_DAC_OVERRIDE for a while.
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// Drops the capability that lets root write into any folder, so that a
// read-only folder refuses this process too; restores it on destruction.
class WithoutFolderOverride {
public:
    WithoutFolderOverride()
    {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (::syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        active_ = ::syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutFolderOverride()
    {
        if (active_)
            ::syscall(SYS_capset, &header_, saved_);
    }
    WithoutFolderOverride(const WithoutFolderOverride&) = delete;
    WithoutFolderOverride& operator=(const WithoutFolderOverride&) = delete;

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
};
