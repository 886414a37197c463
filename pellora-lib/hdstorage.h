#pragma once
// What a THdStrings keeps its text in: a growable memory block or an open
// file. Both read and write at explicit offsets; writing past the end extends.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pellora {

class HdStorage {
 public:
  virtual ~HdStorage() = default;
  virtual int32_t Kind() const = 0;
  virtual int64_t Size() const = 0;
  virtual bool SetSize(int64_t size) = 0;
  // Makes the storage at least size bytes long, with the room really there
  // (a file gets its disk space now, so later writes into it cannot run out).
  virtual bool Extend(int64_t size) { return size <= Size() || SetSize(size); }
  // Bytes actually transferred.
  virtual int64_t Read(int64_t pos, char* p, int64_t n) = 0;
  virtual int64_t Write(int64_t pos, const char* p, int64_t n) = 0;
  // Moves len bytes from src to dst (the ranges may overlap), through buffer
  // when the storage cannot move in place.
  virtual bool Move(int64_t src, int64_t dst, int64_t len, std::vector<char>& buffer);
  // Memory storage grows ahead of need; a file never holds more than written.
  virtual bool PreGrows() const { return false; }
  // The bytes themselves when the storage is memory (nullptr for files).
  virtual const char* Data() const { return nullptr; }
  virtual const std::string& Path() const;
};

class HdMemoryStorage final : public HdStorage {
 public:
  int32_t Kind() const override { return 0; }
  int64_t Size() const override { return size_; }
  bool SetSize(int64_t size) override;
  int64_t Read(int64_t pos, char* p, int64_t n) override;
  int64_t Write(int64_t pos, const char* p, int64_t n) override;
  bool Move(int64_t src, int64_t dst, int64_t len, std::vector<char>& buffer) override;
  bool PreGrows() const override { return true; }
  const char* Data() const override { return data_.get(); }
  // Sets the size without clearing the bytes, for a caller that fills them
  // all at once; nullptr when the memory is not there.
  char* Allocate(int64_t size);

 private:
  bool Reserve(int64_t size);
  // Not a vector: growing must not spend time zeroing bytes that are
  // written right after.
  std::unique_ptr<char[]> data_;
  int64_t size_ = 0;
  int64_t capacity_ = 0;
};

class HdFileStorage final : public HdStorage {
 public:
  // Takes over an open descriptor. A temporary file is removed on close.
  HdFileStorage(int fd, std::string path, int32_t kind, bool removeOnClose);
  ~HdFileStorage() override;
  int32_t Kind() const override { return kind_; }
  int64_t Size() const override;
  bool SetSize(int64_t size) override;
  bool Extend(int64_t size) override;
  int64_t Read(int64_t pos, char* p, int64_t n) override;
  int64_t Write(int64_t pos, const char* p, int64_t n) override;
  const std::string& Path() const override { return path_; }
  int Fd() const { return fd_; }

 private:
  int fd_;
  std::string path_;
  int32_t kind_;
  bool removeOnClose_;
};

}  // namespace pellora
