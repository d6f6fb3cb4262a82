#include "io/resolved_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <vector>

namespace talvik::io {
namespace {

// Linux gives up after 40 links too.
constexpr int kMaxLinks = 40;

std::deque<std::string> names_of(const std::string& path) {
    std::deque<std::string> names;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('/', start), path.size());
        if (end > start) names.emplace_back(path, start, end - start);
        start = end + 1;
    }
    return names;
}

std::string join(const std::vector<std::string>& names) {
    std::string path;
    for (const std::string& n : names) path += "/" + n;
    return path.empty() ? "/" : path;
}

bool read_link(const std::string& path, std::string& text) {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0) return false;
        if (static_cast<size_t>(n) < buffer.size()) {
            text.assign(buffer.data(), static_cast<size_t>(n));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// /proc/<pid>/fd or /proc/<pid>/task/<tid>/fd: each name in it is an open
// descriptor of that process.
bool is_descriptor_folder(const std::vector<std::string>& at) {
    return at.size() >= 3 && at[0] == "proc" && at.back() == "fd" && (at.size() == 3 || (at.size() == 5 && at[2] == "task"));
}

}  // namespace

std::string ResolvedPath::key() const {
    return std::to_string(device) + ":" + std::to_string(inode) + (rest.empty() ? "" : "/" + rest);
}

ResolvedPath resolve_path(const std::string& path) {
    ResolvedPath out;
    std::deque<std::string> pending = names_of(path);
    std::vector<std::string> at;  // the existing folders resolved so far, from /
    if (path.empty() || path[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd)) {
            const std::deque<std::string> here = names_of(cwd);
            at.assign(here.begin(), here.end());
        }
    }
    std::vector<std::string> missing;
    int links = 0;
    while (!pending.empty()) {
        std::string name = std::move(pending.front());
        pending.pop_front();
        if (name == ".") continue;
        if (!missing.empty()) {
            // Below a missing name only the names themselves count.
            if (name == "..") missing.pop_back();
            else missing.push_back(std::move(name));
            continue;
        }
        if (name == "..") {
            if (!at.empty()) at.pop_back();
            continue;
        }
        if (is_descriptor_folder(at)) out.descriptor = true;
        at.push_back(name);
        const std::string here = join(at);
        struct stat st {};
        if (lstat(here.c_str(), &st) != 0) {
            at.pop_back();
            missing.push_back(std::move(name));
            continue;
        }
        std::string target;
        if (!S_ISLNK(st.st_mode) || !read_link(here, target)) continue;
        if (++links > kMaxLinks) {
            at.pop_back();
            missing.push_back(std::move(name));
            continue;
        }
        at.pop_back();
        if (!target.empty() && target[0] == '/') at.clear();
        const std::deque<std::string> inside = names_of(target);
        pending.insert(pending.begin(), inside.begin(), inside.end());
    }
    out.existing = join(at);
    for (const std::string& n : missing) out.rest += (out.rest.empty() ? "" : "/") + n;
    struct stat st {};
    if (stat(out.existing.c_str(), &st) == 0) {
        out.device = st.st_dev;
        out.inode = st.st_ino;
    }
    return out;
}

}  // namespace talvik::io
