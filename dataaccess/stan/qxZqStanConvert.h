// qxZqStanConvert: conversion of one raw value between two TZqDataType
// storage forms, and the scratch buffer the callers convert through.
//
// The format options (qxZqStanOption) expose this as
// TZqFormatOptions::ConvertRawData; the in-memory tables, the expression
// engine and the ODBC bridge may call the free routines directly, since the
// conversion reads no option value.
//
// Storage forms: dtBoolean 2 bytes (0 False, -1 True, any non-zero reads as
// True); 8/16/32/64-bit integers; dtDouble; dtCurrency as a 64-bit integer
// of the value times 10000; dtBCD/dtFmtBCD the 34-byte BCD record;
// dtDateTime a double of time-stamp milliseconds (day 0001-01-01 counts as
// day 1); dtTime 32-bit milliseconds since midnight; dtDate 32-bit day
// number; dtDateTimeStamp the SQL time-stamp record; dtGUID 16 bytes.
// Strings and large objects are (pointer, length) pairs; the wide ones
// count 16-bit characters, all others bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dataaccess/stan/qxZqStanIntf.h"

// True when the matrix allows converting ASource into ATarget (every type
// converts into itself).
bool ZqIsConvertiblePair(TZqDataType ASource, TZqDataType ATarget) noexcept;

// The length ConvertRawData reports for a scalar of this type; 0 for the
// string, large-object and reference types.
uint32_t ZqDataTypeStorageSize(TZqDataType AType) noexcept;

// Converts one value. ASource nil asks only for the length the result needs
// (ATargetLength). ATarget is in-out: the destination, which the routine
// may replace by ASource when the result can be read in place; the caller
// then keeps the source alive while it uses the result. ATargetSize is the
// destination's size in bytes; the caller's block holds two bytes more (the
// conversion buffer's Check), so a text terminator always has room.
// A pair outside the matrix raises error 19 ("Stan"); a value that does not
// fit its target raises rtl::EConvertError and writes nothing.
void ZqConvertRawData(TZqDataType ASourceType, TZqDataType ATargetType, void *ASource,
                      uint32_t ASourceLength, void *&ATarget, uint32_t ATargetSize,
                      uint32_t &ATargetLength);

// A 16-byte GUID as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and back
// (rtl::EConvertError on text of another shape).
std::string ZqGuidBytesToText(const void *ASource);
void ZqGuidTextToBytes(std::string_view AText, void *ADest);

// 8-bit text widened to 16-bit characters and back, one to one through the
// single-byte code page; a wide character beyond it narrows to "?".
void ZqWidenText(const char *ASource, uint32_t ALength, void *ADest);
void ZqNarrowText(const void *ASource, uint32_t ALength, char *ADest);

// A command's growable scratch block for conversions. The block is kept
// between calls and grows only when a conversion needs more.
class TZqFormatConversionBuffer {
public:
    static constexpr uint32_t CInitialSize = 134;

    TZqFormatConversionBuffer() = default;
    ~TZqFormatConversionBuffer();
    TZqFormatConversionBuffer(const TZqFormatConversionBuffer &) = delete;
    TZqFormatConversionBuffer &operator=(const TZqFormatConversionBuffer &) = delete;

    // Makes the capacity at least ASize + 2 bytes, keeping the contents; the
    // address may change. Returns the block.
    void *Check(uint32_t ASize);
    // ALength := ASize; checks for twice ASize when either type is wide.
    void *CheckForTypes(uint32_t ASize, uint32_t &ALength, TZqDataType ASourceType,
                        TZqDataType ATargetType);
    // Frees the block; the capacity goes back to 134.
    void Clear() noexcept;

    void *Ptr() const noexcept { return FBuffer; }
    uint32_t Size() const noexcept { return FSize; }

private:
    void *FBuffer = nullptr;
    uint32_t FSize = CInitialSize;
};

