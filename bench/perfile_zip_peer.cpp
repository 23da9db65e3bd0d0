// The per-file peer of the backup and restore benchmarks: the same work per file as a
// Varnholt run, done directly with a Deflate library (libdeflate or zlib), one thread.
//
//   perfile_zip_peer pack   libdeflate|zlib SOURCE STORE
//       every regular file SOURCE/x becomes STORE/x.ZIP, an archive of one entry: read whole,
//       CRC-32, raw Deflate at level 6 (stored when that does not shrink it), local header,
//       central record and end record, then the archive gets the file's access and
//       modification times; directories are created as they are met.
//   perfile_zip_peer unpack libdeflate|zlib STORE TARGET
//       every STORE/x.ZIP is read, its entry inflated and checked against its CRC-32, and
//       written to TARGET/x with the archive's times.
//
// Prints the number of files done; exits 1 when a file could not be done.
#include <dirent.h>
#include <fcntl.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Codec {
  bool useLibdeflate = true;
  libdeflate_compressor* compressor = nullptr;
  libdeflate_decompressor* decompressor = nullptr;
  z_stream deflater{};
  z_stream inflater{};

  explicit Codec(bool libdeflate) : useLibdeflate(libdeflate) {
    if (useLibdeflate) {
      compressor = libdeflate_alloc_compressor(6);
      decompressor = libdeflate_alloc_decompressor();
    } else {
      deflateInit2(&deflater, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
      inflateInit2(&inflater, -15);
    }
  }
  ~Codec() {
    if (useLibdeflate) {
      libdeflate_free_compressor(compressor);
      libdeflate_free_decompressor(decompressor);
    } else {
      deflateEnd(&deflater);
      inflateEnd(&inflater);
    }
  }
  std::uint32_t Crc(const Bytes& data) const {
    return useLibdeflate ? libdeflate_crc32(0, data.data(), data.size())
                         : static_cast<std::uint32_t>(crc32(0, data.data(),
                                                            static_cast<uInt>(data.size())));
  }
  // Raw Deflate of in into out; false when it does not shrink the data.
  bool Compress(const Bytes& in, Bytes& out) {
    if (in.empty()) return false;
    if (useLibdeflate) {
      out.resize(in.size());
      const std::size_t n =
          libdeflate_deflate_compress(compressor, in.data(), in.size(), out.data(), out.size());
      out.resize(n);
      return n != 0 && n < in.size();
    }
    deflateReset(&deflater);
    out.resize(deflateBound(&deflater, in.size()));
    deflater.next_in = const_cast<Bytef*>(in.data());
    deflater.avail_in = static_cast<uInt>(in.size());
    deflater.next_out = out.data();
    deflater.avail_out = static_cast<uInt>(out.size());
    deflate(&deflater, Z_FINISH);
    out.resize(deflater.total_out);
    return out.size() < in.size();
  }
  bool Decompress(const std::uint8_t* in, std::size_t size, Bytes& out) {
    if (useLibdeflate) {
      return libdeflate_deflate_decompress(decompressor, in, size, out.data(), out.size(),
                                           nullptr) == LIBDEFLATE_SUCCESS;
    }
    inflateReset(&inflater);
    inflater.next_in = const_cast<Bytef*>(in);
    inflater.avail_in = static_cast<uInt>(size);
    inflater.next_out = out.data();
    inflater.avail_out = static_cast<uInt>(out.size());
    return inflate(&inflater, Z_FINISH) == Z_STREAM_END && inflater.total_out == out.size();
  }
};

bool ReadFile(const std::string& path, Bytes& data, struct stat& st) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fstat(fd, &st) == 0;
  if (ok) {
    data.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (ok && done < data.size()) {
      const ssize_t n = read(fd, data.data() + done, data.size() - done);
      if (n <= 0) ok = false;
      else done += static_cast<std::size_t>(n);
    }
  }
  close(fd);
  return ok;
}

bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size,
               const struct timespec times[2]) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  std::size_t done = 0;
  while (ok && done < size) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) ok = false;
    else done += static_cast<std::size_t>(n);
  }
  if (ok) ok = futimens(fd, times) == 0;
  return close(fd) == 0 && ok;
}

void Put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
std::uint32_t Get16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
std::uint32_t Get32(const std::uint8_t* p) {
  return Get16(p) | (static_cast<std::uint32_t>(Get16(p + 2)) << 16);
}

// The one-entry archive of name: local header, data, central record, end record.
void BuildArchive(const std::string& name, const struct stat& st, std::uint32_t crc,
                  std::uint32_t method, const Bytes& data, std::uint32_t size, Bytes& zip) {
  struct tm local {};
  localtime_r(&st.st_mtim.tv_sec, &local);
  const std::uint32_t dosTime = (local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2);
  const std::uint32_t dosDate =
      ((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday;
  const auto nameLength = static_cast<std::uint32_t>(name.size());
  zip.clear();
  Put32(zip, 0x04034b50);
  Put16(zip, 20);
  Put16(zip, 0);
  Put16(zip, method);
  Put16(zip, dosTime);
  Put16(zip, dosDate);
  Put32(zip, crc);
  Put32(zip, static_cast<std::uint32_t>(data.size()));
  Put32(zip, size);
  Put16(zip, nameLength);
  Put16(zip, 0);
  zip.insert(zip.end(), name.begin(), name.end());
  zip.insert(zip.end(), data.begin(), data.end());
  const auto central = static_cast<std::uint32_t>(zip.size());
  Put32(zip, 0x02014b50);
  Put16(zip, 20);
  Put16(zip, 20);
  Put16(zip, 0);
  Put16(zip, method);
  Put16(zip, dosTime);
  Put16(zip, dosDate);
  Put32(zip, crc);
  Put32(zip, static_cast<std::uint32_t>(data.size()));
  Put32(zip, size);
  Put16(zip, nameLength);
  Put16(zip, 0);
  Put16(zip, 0);
  Put16(zip, 0);
  Put16(zip, 0);
  Put32(zip, 0);
  Put32(zip, 0);
  zip.insert(zip.end(), name.begin(), name.end());
  const auto centralSize = static_cast<std::uint32_t>(zip.size()) - central;
  Put32(zip, 0x06054b50);
  Put16(zip, 0);
  Put16(zip, 0);
  Put16(zip, 1);
  Put16(zip, 1);
  Put32(zip, centralSize);
  Put32(zip, central);
  Put16(zip, 0);
}

struct Walker {
  Codec codec;
  bool pack;
  Bytes data, packed, zip;
  std::size_t done = 0;
  std::size_t failed = 0;

  void Pack(const std::string& from, const std::string& to, const std::string& name) {
    struct stat st {};
    if (!ReadFile(from, data, st)) {
      ++failed;
      return;
    }
    const std::uint32_t crc = codec.Crc(data);
    const bool deflated = codec.Compress(data, packed);
    BuildArchive(name, st, crc, deflated ? 8 : 0, deflated ? packed : data,
                 static_cast<std::uint32_t>(data.size()), zip);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (WriteFile(to + ".ZIP", zip.data(), zip.size(), times)) ++done;
    else ++failed;
  }

  void Unpack(const std::string& from, const std::string& to) {
    struct stat st {};
    if (!ReadFile(from, zip, st) || zip.size() < 30 || Get32(zip.data()) != 0x04034b50) {
      ++failed;
      return;
    }
    const std::uint8_t* h = zip.data();
    const std::uint32_t method = Get16(h + 8);
    const std::uint32_t size = Get32(h + 18);
    const std::size_t start = 30 + Get16(h + 26) + Get16(h + 28);
    if (start + size > zip.size()) {
      ++failed;
      return;
    }
    data.resize(Get32(h + 22));
    bool ok = false;
    if (method == 8) {
      ok = codec.Decompress(h + start, size, data);
    } else if (method == 0 && size == data.size()) {
      if (size != 0) std::memcpy(data.data(), h + start, size);
      ok = true;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ok = ok && codec.Crc(data) == Get32(h + 14) && WriteFile(to, data.data(), data.size(), times);
    if (ok) ++done;
    else ++failed;
  }

  void Tree(const std::string& from, const std::string& to) {
    mkdir(to.c_str(), 0755);
    DIR* dir = opendir(from.c_str());
    if (dir == nullptr) {
      ++failed;
      return;
    }
    while (const dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      const std::string path = from + "/" + name;
      struct stat st {};
      if (lstat(path.c_str(), &st) != 0) continue;
      if (S_ISDIR(st.st_mode)) {
        Tree(path, to + "/" + name);
      } else if (S_ISREG(st.st_mode)) {
        if (pack) {
          Pack(path, to + "/" + name, name);
        } else if (name.size() > 4 && name.compare(name.size() - 4, 4, ".ZIP") == 0) {
          Unpack(path, to + "/" + name.substr(0, name.size() - 4));
        }
      }
    }
    closedir(dir);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 || (std::strcmp(argv[1], "pack") != 0 && std::strcmp(argv[1], "unpack") != 0) ||
      (std::strcmp(argv[2], "libdeflate") != 0 && std::strcmp(argv[2], "zlib") != 0)) {
    std::fprintf(stderr, "usage: perfile_zip_peer pack|unpack libdeflate|zlib FROM TO\n");
    return 2;
  }
  Walker walker{Codec(std::strcmp(argv[2], "libdeflate") == 0), std::strcmp(argv[1], "pack") == 0};
  walker.Tree(argv[3], argv[4]);
  std::printf("%zu files, %zu failed\n", walker.done, walker.failed);
  return walker.failed == 0 ? 0 : 1;
}
