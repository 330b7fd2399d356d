// Who may use a file, as tests give it and compare it: the file's extended
// attributes by name, among them an access ACL in the form the system
// keeps it (system.posix_acl_access).
#pragma once

#include <sys/types.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>

namespace fileaccess {

using Attributes = std::map<std::string, std::string>;

// Every extended attribute of the file, value by name (the names the
// calling user may see).
inline Attributes attributesOf(const std::string& path)
{
    Attributes attributes;
    char names[4096];
    const ssize_t length = listxattr(path.c_str(), names, sizeof names);
    for (ssize_t at = 0; at < length; at += ssize_t(std::strlen(names + at)) + 1) {
        char value[4096];
        const ssize_t n = getxattr(path.c_str(), names + at, value, sizeof value);
        attributes[names + at] = n < 0 ? "(unreadable)" : std::string(value, size_t(n));
    }
    return attributes;
}

// An access ACL: the owner and the owning group may read and write, the
// user `reader` may read, others nothing (mode bits 0660).
inline std::string aclGranting(uid_t reader)
{
    std::string acl;
    auto put = [&acl](uint32_t value, int bytes) {
        for (int k = 0; k < bytes; ++k) acl += char((value >> (8 * k)) & 0xFF);
    };
    const uint32_t none = 0xFFFFFFFF;
    put(2, 4);  // the format's version
    const struct {
        uint16_t tag, permissions;
        uint32_t id;
    } entries[] = {{0x01, 6, none}, {0x02, 4, reader}, {0x04, 6, none}, {0x10, 6, none}, {0x20, 0, none}};
    for (const auto& e : entries) {
        put(e.tag, 2);
        put(e.permissions, 2);
        put(e.id, 4);
    }
    return acl;
}

// Gives the file an attribute; 0 or errno (ENOTSUP: its filesystem keeps
// no such attributes).
inline int setAttribute(const std::string& path, const std::string& name, const std::string& value)
{
    return setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0) == 0 ? 0 : errno;
}

}  // namespace fileaccess
