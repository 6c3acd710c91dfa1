// A blob or memo field's value as a stream of bytes, as the dataset hands it
// out (TDataSet::CreateBlobStream). A stream opened for writing stores its
// bytes into the record when it is destroyed.
#pragma once

#include <cstdint>
#include <string>

class TField;

enum TSeekOrigin : uint8_t { soBeginning, soCurrent, soEnd };

class TBlobStream {
public:
    virtual ~TBlobStream() = default;
    virtual int64_t Read(void *ABuffer, int64_t ACount) = 0;
    virtual int64_t Write(const void *ABuffer, int64_t ACount) = 0;
    virtual int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) = 0;
    virtual int64_t Size() = 0;
    virtual void Truncate() = 0;
    // The whole value from the start.
    std::string ReadAll();
};
