// Helpers shared by the tests: a temporary folder, file writing, the
// environment.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace kelvarin::test {

// Sets (or, for nullptr, removes) an environment variable of this process.
inline void SetEnv(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
#endif
}

// argv with more after it: a command line and its options.
inline std::vector<std::string> With(std::vector<std::string> argv,
                                     const std::vector<std::string>& more) {
    argv.insert(argv.end(), more.begin(), more.end());
    return argv;
}

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes away. Its path is UTF-8, with forward
// slashes on every system (as Qt gives paths back).
class TempDir {
  public:
    TempDir() {
        std::random_device random;
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::filesystem::path candidate =
                base / ("kelvarin-test-" + std::to_string(random()));
            std::error_code ec;
            if (std::filesystem::create_directory(candidate, ec)) {
                const std::u8string text = candidate.generic_u8string();
                m_path.assign(text.begin(), text.end());
                return;
            }
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(Native(m_path), ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }

    // Writes contents to name inside the folder and returns the file's path.
    std::string Write(const std::string& name, std::string_view contents) const {
        std::string path = m_path + "/" + name;
        std::ofstream out(Native(path), std::ios::binary);
        out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
        return path;
    }

    // Writes a file of size bytes, each byte derived from its offset and seed.
    std::string WriteSized(const std::string& name, std::size_t size, unsigned seed = 0) const {
        std::string data(size, '\0');
        for (std::size_t i = 0; i < size; ++i) {
            data[i] = static_cast<char>((i * 31 + seed * 7 + (i >> 8)) & 0xFF);
        }
        return Write(name, data);
    }

    // A UTF-8 path as the file system's own path.
    static std::filesystem::path Native(const std::string& path) {
        return std::filesystem::path(std::u8string(path.begin(), path.end()));
    }

  private:
    std::string m_path;
};

// The whole contents of a file, or empty when it cannot be read.
inline std::string ReadAll(const std::string& path) {
    std::ifstream in(TempDir::Native(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace kelvarin::test
