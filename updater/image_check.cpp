#include "updater/image_check.h"

namespace updata {

namespace {

// Reads n bytes at offset of the image; false when they are not all there.
using ReadAt = bool (*)(void* source, uint64_t offset, void* out, uint32_t n);

struct Memory {
  const unsigned char* data;
  uint64_t size;
};

bool read_memory(void* source, uint64_t offset, void* out, uint32_t n) {
  const Memory* m = static_cast<const Memory*>(source);
  if (offset > m->size || n > m->size - offset) return false;
  CopyMemory(out, m->data + offset, n);
  return true;
}

bool read_file_at(void* source, uint64_t offset, void* out, uint32_t n) {
  HANDLE file = static_cast<HANDLE>(source);
  LARGE_INTEGER at;
  at.QuadPart = LONGLONG(offset);
  if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) return false;
  DWORD got = 0;
  return ReadFile(file, out, n, &got, nullptr) && got == n;
}

uint32_t le16(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const unsigned char* p) { return le16(p) | le16(p + 2) << 16; }

bool image_complete(ReadAt read, void* source, uint64_t size) {
  unsigned char dos[64];
  if (!read(source, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
  const uint64_t pe = le32(dos + 0x3C);
  unsigned char nt[4 + 20];  // signature and file header
  if (!read(source, pe, nt, sizeof nt)) return false;
  if (nt[0] != 'P' || nt[1] != 'E' || nt[2] != 0 || nt[3] != 0) return false;
  const uint32_t sections = le16(nt + 4 + 2);
  const uint32_t optional_size = le16(nt + 4 + 16);
  if (sections == 0 || optional_size < 2) return false;
  // The optional header up to the certificate table's directory entry.
  unsigned char optional[144 + 8] = {};
  const uint32_t optional_read = optional_size < sizeof optional ? optional_size : uint32_t(sizeof optional);
  if (!read(source, pe + 24, optional, optional_read)) return false;
  const uint32_t magic = le16(optional);
  const uint32_t directories_at = magic == 0x10B ? 96 : 112;  // PE32, PE32+
  if ((magic != 0x10B && magic != 0x20B) || optional_size < directories_at) return false;
  if (le32(optional + 60) > size) return false;  // SizeOfHeaders
  // The certificate table is the one directory given as a file position.
  const uint32_t certificate_at = directories_at + 4 * 8;
  if (le32(optional + directories_at - 4) > 4 && optional_read >= certificate_at + 8) {
    const unsigned char* entry = optional + certificate_at;
    if (le32(entry + 4) > 0 && uint64_t(le32(entry)) + le32(entry + 4) > size) return false;
  }
  const uint64_t table = pe + 24 + optional_size;
  for (uint32_t i = 0; i < sections; ++i) {
    unsigned char section[40];
    if (!read(source, table + 40ull * i, section, sizeof section)) return false;
    const uint64_t raw_size = le32(section + 16), raw_at = le32(section + 20);
    if (raw_size > 0 && raw_at + raw_size > size) return false;
  }
  return true;
}


}  // namespace

bool is_complete_image(const void* data, uint64_t size) {
  Memory m = {static_cast<const unsigned char*>(data), size};
  return data && image_complete(read_memory, &m, size);
}

bool is_complete_image_file(HANDLE file) {
  LARGE_INTEGER size;
  if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size) || size.QuadPart < 0) return false;
  return image_complete(read_file_at, file, uint64_t(size.QuadPart));
}

}  // namespace updata
