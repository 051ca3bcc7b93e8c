// Helpers shared by the tests: a temporary folder and file writing.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace kelvarin::test {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes away.
class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kelvarin-test-XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        m_path = made ? made : "";
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }

    // Writes contents to name inside the folder and returns the file's path.
    std::string Write(const std::string& name, std::string_view contents) const {
        std::string path = m_path + "/" + name;
        std::ofstream out(path, std::ios::binary);
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

  private:
    std::string m_path;
};

// The whole contents of a file, or empty when it cannot be read.
inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace kelvarin::test
