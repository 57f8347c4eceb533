// Real folders for the platform tests: a temporary folder removed afterwards, and a small
// tmpfs for full-disk and read-only cases (mounting needs root; callers skip otherwise).
#pragma once

#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace qzx::test {

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qzxrec-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string Sub(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

// A tmpfs of the given size at dir; Mounted() is false when the system does not allow it.
class TmpfsMount {
  public:
    TmpfsMount(const std::string& dir, const std::string& options) : dir(dir) {
        ::mkdir(dir.c_str(), 0755);
        mounted = ::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~TmpfsMount() {
        if (mounted) ::umount2(dir.c_str(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    bool Mounted() const { return mounted; }
    // Makes the mount read-only, which holds for root as well.
    bool MakeReadOnly() {
        return mounted &&
               ::mount("tmpfs", dir.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

  private:
    std::string dir;
    bool mounted = false;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline size_t EntryCount(const std::string& folder) {
    size_t n = 0;
    for (auto it = std::filesystem::directory_iterator(folder);
         it != std::filesystem::directory_iterator(); ++it) {
        ++n;
    }
    return n;
}

}  // namespace qzx::test
