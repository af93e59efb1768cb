#pragma once

#include <QString>

// The zip reader's result codes and records, shared by UnZip (which has them as its own: UnZip::ErrorCode,
// UnZip::Ok ...) and the classes it reads archives with.
class CZipReaderTypes
{
public:
    // Values 0 to 17 are the reader's classic codes and must keep their numbers.
    enum ErrorCode
    {
        Ok = 0,
        ZlibInitFailed = 1,
        ZlibError = 2,
        OpenFailed = 3,
        PartiallyCorrupted = 4,
        Corrupted = 5,
        WrongPassword = 6,
        NoOpenArchive = 7,
        FileNotFound = 8,
        ReadFailed = 9,
        WriteFailed = 10,
        SeekFailed = 11,
        CreateDirectoryFailed = 12,
        InvalidDevice = 13,
        InvalidArchive = 14,
        InconsistentHeaders = 15,
        // The entry's password check failed; extracting all entries goes on with the next one.
        SkipEntry = 16,
        // An encrypted entry and no password: extracting all entries passes over every remaining encrypted one.
        SkipAllEncrypted = 17,
        // The entry's name would put it outside the target folder (absolute, drive letter, ".."); nothing
        // is written for it, and extracting all entries goes on with the next one.
        UnsafeEntryName = 18,
        // Entries' data overlap each other or the central directory; the archive is refused.
        OverlappingEntries = 19,
        // A ZIP64 archive, or more entries than the end record's 16-bit count; the archive is refused.
        UnsupportedArchive = 20,
        // The entry uses a compression method or format version this reader cannot handle.
        UnsupportedEntry = 21,
        // The password has characters outside Latin-1, which the zip cipher cannot carry.
        UnsupportedPassword = 22
    };

    // An entry left out at opening, with why: "compression method 12", "format version 4.5", "no name".
    struct SkippedEntry
    {
        QString name;
        QString reason;
    };

protected:
    CZipReaderTypes() = default;
    ~CZipReaderTypes() = default;
};
