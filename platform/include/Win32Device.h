// The Win32 device and volume calls: handles, raw device input and output, device controls,
// the volume walk and drive letters, and page-aligned memory.
//
// This header implements just enough of kernel32's device and volume interface for this
// project, on Linux. The calls serve one machine per process (see platform/README.md): the
// simulated machine that the environment variable CVW_MACHINE names, or the real block devices
// of this Linux system. They take the path forms "\\.\PhysicalDriveN" (a physical drive),
// "\\.\X:" (the volume with drive letter X) and "\\?\Volume{GUID}" (a volume by the name that
// FindFirstVolumeA lists with a trailing backslash; it is opened without it). Anything that is
// not implemented fails with an error code, never with a pretended success.
//
// Included by Win32.h; include Win32.h rather than this file.
#pragma once

#include "Win32.h"

#include <cstddef>
#include <cstdint>

using BOOLEAN = BYTE;
using WCHAR = char16_t;
using DWORD64 = std::uint64_t;
using SIZE_T = std::size_t;
using HANDLE = void*;
using LPDWORD = DWORD*;
using PLONG = LONG*;
using ULONG_PTR = std::uintptr_t;
using ULONG = std::uint32_t;
using PUCHAR = unsigned char*;

#ifndef INVALID_HANDLE_VALUE
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))
#endif

// ---- Error codes of the device and volume calls (beside those of Win32.h) ----
constexpr DWORD NO_ERROR = 0;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_SECTOR_NOT_FOUND = 27;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_INVALID_ADDRESS = 487;
constexpr DWORD ERROR_OPERATION_ABORTED = 995;
constexpr DWORD ERROR_IO_INCOMPLETE = 996;
constexpr DWORD ERROR_IO_PENDING = 997;
constexpr DWORD ERROR_UNRECOGNIZED_VOLUME = 1005;

// The layer's texts for the codes above, for FormatMessageA; null for any other code.
const char* device_error_message(DWORD code);

// ---- Records ----
union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};

// Security descriptors are not implemented: the calls take only null pointers for them.
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// The record of one overlapped transfer: where it starts (Offset and OffsetHigh, the low and
// high halves of the byte offset) and, once it has ended, its outcome. Internal and
// InternalHigh belong to the system (GetOverlappedResult reads the outcome); hEvent is not
// implemented and must be null: GetOverlappedResult waits for the very transfer of the record
// it is given. The record and the buffer must stay in place until the transfer has ended.
struct OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
};
using LPOVERLAPPED = OVERLAPPED*;

// ---- CreateFileA ----
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
constexpr DWORD FILE_SHARE_DELETE = 0x00000004;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD FILE_FLAG_WRITE_THROUGH = 0x80000000;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;
constexpr DWORD FILE_FLAG_NO_BUFFERING = 0x20000000;
constexpr DWORD FILE_FLAG_RANDOM_ACCESS = 0x10000000;
constexpr DWORD FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000;

// Opens a physical drive or a volume (OPEN_EXISTING only). Access is 0 (queries only),
// GENERIC_READ and/or GENERIC_WRITE; sharing modes are accepted and not enforced (exclusive
// use comes from FSCTL_LOCK_VOLUME). As on Windows, the transfers of a drive or volume handle
// never go through the system's file cache: what is written goes to the device, what is read
// comes from it. FILE_FLAG_NO_BUFFERING demands sector-aligned buffers (without it any buffer
// will do); FILE_FLAG_WRITE_THROUGH makes each write reach the medium before it ends;
// FILE_FLAG_OVERLAPPED makes the handle's transfers overlapped (see ReadFile). Returns
// INVALID_HANDLE_VALUE with the last error set on failure:
// ERROR_FILE_NOT_FOUND for a drive or volume the machine does not have, ERROR_NOT_READY for a
// drive letter without a medium, ERROR_NOT_SUPPORTED for paths that are not devices.
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);

// Closes any handle of the layer; a device handle first waits for its overlapped transfers to
// end. Returns FALSE with ERROR_INVALID_HANDLE for a handle that is not open.
BOOL CloseHandle(HANDLE object);

// Transfers at the handle's position, which then moves on by the count, or, with an
// OVERLAPPED record, at the record's offset (the position stays). Offsets and lengths must be
// whole sectors (ERROR_INVALID_PARAMETER), and with FILE_FLAG_NO_BUFFERING so must the
// buffer's address. A read that reaches the end of the device returns TRUE with fewer bytes
// (0 at or past the end). A write that would pass the end fails with ERROR_SECTOR_NOT_FOUND
// and writes nothing. A write into the range of a volume that is still mounted or held, and
// not locked by this process, fails with ERROR_ACCESS_DENIED and writes nothing.
//
// A handle opened with FILE_FLAG_OVERLAPPED needs the record; the transfer then runs while the
// caller goes on: the call returns FALSE with ERROR_IO_PENDING, and GetOverlappedResult gives
// the outcome. Several transfers may be in flight, each with its own record and buffer; they
// may end in any order. A transfer started while others are in flight may be held back until
// GetOverlappedResult is next called on the handle, with or without waiting, on the thread that
// started it. A transfer refused before it starts fails at once, with its error.
// Without FILE_FLAG_OVERLAPPED a record only gives the offset, and the call ends with the
// transfer.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped);

// The outcome of the overlapped transfer of `overlapped`: TRUE with the byte count, or FALSE
// with the transfer's error. While it is in flight: with `wait` the call waits for its end,
// without it fails with ERROR_IO_INCOMPLETE. Asked again after the end, it gives the same
// outcome. ERROR_INVALID_PARAMETER for a record that no transfer of `file` has used.
BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD bytesTransferred, BOOL wait);

// Tells the layer that the overlapped transfers of `file` take their buffers from the `length`
// bytes at `start`, so that it locks that memory once for the handle instead of once for each
// transfer (Windows locks the transfers' records there; this layer locks the buffers, which is
// what its transfers would lock each time). The memory must stay allocated until the handle is
// closed; a handle takes a few such ranges. Transfers from other buffers work as before. FALSE
// with ERROR_INVALID_PARAMETER for a handle without FILE_FLAG_OVERLAPPED or an empty range, or
// with the system's error when it will not lock the memory; the transfers then lock their
// buffers each time, as without the call.
BOOL SetFileIoOverlappedRange(HANDLE file, PUCHAR start, ULONG length);

constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;

// Moves the handle's position. With distanceToMoveHigh the distance is the 64-bit number of
// both halves, and the high half of the new position is stored back. Returns the low half of
// the new position with the last error set to NO_ERROR, or INVALID_SET_FILE_POINTER with the
// last error set (ERROR_NEGATIVE_SEEK for a position before the start).
DWORD SetFilePointer(HANDLE file, LONG distanceToMove, PLONG distanceToMoveHigh, DWORD moveMethod);
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distanceToMove, PLARGE_INTEGER newFilePointer,
                      DWORD moveMethod);

// Makes what was written through the handle durable on the device. FALSE with the last error
// set when the device reports a failure, or ERROR_ACCESS_DENIED for a handle without write
// access.
BOOL FlushFileBuffers(HANDLE file);

// ---- Device controls ----
constexpr DWORD IOCTL_DISK_GET_DRIVE_GEOMETRY = 0x00070000;
constexpr DWORD IOCTL_DISK_GET_PARTITION_INFO = 0x00074004;
constexpr DWORD IOCTL_DISK_GET_PARTITION_INFO_EX = 0x00070048;
constexpr DWORD IOCTL_STORAGE_GET_DEVICE_NUMBER = 0x002D1080;
constexpr DWORD IOCTL_STORAGE_GET_DEVICE_NUMBER_EX = 0x002D1084;
constexpr DWORD IOCTL_STORAGE_QUERY_PROPERTY = 0x002D1400;
constexpr DWORD IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS = 0x00560000;
constexpr DWORD FSCTL_LOCK_VOLUME = 0x00090018;
constexpr DWORD FSCTL_DISMOUNT_VOLUME = 0x00090020;
constexpr DWORD FSCTL_ALLOW_EXTENDED_DASD_IO = 0x00090083;

constexpr DWORD FILE_DEVICE_DISK = 7;

enum MEDIA_TYPE : std::int32_t { RemovableMedia = 11, FixedMedia = 12 };

// IOCTL_DISK_GET_DRIVE_GEOMETRY: the geometry of the disk (of a volume: of its disk). The
// layer reports every disk as Cylinders = size / BytesPerSector with one track per cylinder
// and one sector per track, so that the product is the size in whole sectors.
struct DISK_GEOMETRY {
  LARGE_INTEGER Cylinders;
  MEDIA_TYPE MediaType;
  DWORD TracksPerCylinder;
  DWORD SectorsPerTrack;
  DWORD BytesPerSector;
};
static_assert(sizeof(DISK_GEOMETRY) == 24);

// IOCTL_DISK_GET_PARTITION_INFO: of a volume its partition; of a whole disk the disk itself
// (offset 0, the disk's length, partition number 0).
struct PARTITION_INFORMATION {
  LARGE_INTEGER StartingOffset;
  LARGE_INTEGER PartitionLength;
  DWORD HiddenSectors;
  DWORD PartitionNumber;
  BYTE PartitionType;
  BOOLEAN BootIndicator;
  BOOLEAN RecognizedPartition;
  BOOLEAN RewritePartition;
};
static_assert(sizeof(PARTITION_INFORMATION) == 32);

enum PARTITION_STYLE : std::int32_t {
  PARTITION_STYLE_MBR = 0,
  PARTITION_STYLE_GPT = 1,
  PARTITION_STYLE_RAW = 2
};

struct PARTITION_INFORMATION_MBR {
  BYTE PartitionType;
  BOOLEAN BootIndicator;
  BOOLEAN RecognizedPartition;
  DWORD HiddenSectors;
  GUID PartitionId;
};

struct PARTITION_INFORMATION_GPT {
  GUID PartitionType;
  GUID PartitionId;
  DWORD64 Attributes;
  WCHAR Name[36];
};

// IOCTL_DISK_GET_PARTITION_INFO_EX: the same facts as PARTITION_INFORMATION. The layer does
// not read partition tables: a whole disk is PARTITION_STYLE_RAW, a volume
// PARTITION_STYLE_MBR with the type and identifier fields zero.
struct PARTITION_INFORMATION_EX {
  PARTITION_STYLE PartitionStyle;
  LARGE_INTEGER StartingOffset;
  LARGE_INTEGER PartitionLength;
  DWORD PartitionNumber;
  BOOLEAN RewritePartition;
  BOOLEAN IsServicePartition;
  union {
    PARTITION_INFORMATION_MBR Mbr;
    PARTITION_INFORMATION_GPT Gpt;
  };
};
static_assert(sizeof(PARTITION_INFORMATION_EX) == 144);

// IOCTL_STORAGE_GET_DEVICE_NUMBER: a physical drive is {FILE_DEVICE_DISK, N, 0}, a volume
// {FILE_DEVICE_DISK, its disk's N, its partition number}. A volume over several disks has no
// device number: the query fails with ERROR_INVALID_FUNCTION.
struct STORAGE_DEVICE_NUMBER {
  DWORD DeviceType;
  DWORD DeviceNumber;
  DWORD PartitionNumber;
};
static_assert(sizeof(STORAGE_DEVICE_NUMBER) == 12);

// IOCTL_STORAGE_GET_DEVICE_NUMBER_EX: the device number as above, and DeviceGuid, which names
// the disk itself (of a volume: its disk) rather than the number it has now. A disk attached
// anew, or given a new medium, gets a new GUID, so that a disk of the same model, serial and
// size that takes another's number is told apart. On Linux the GUID is made from the disk's
// block device number and its sequence number (which the kernel counts up at every attach and
// change of medium; 0 on a kernel before 5.15, which has none), both read from the open device
// itself; on the simulated machine from the device and inode of the disk's image file. Version
// and Size are the size of the record; Flags are 0. A volume over several disks fails with
// ERROR_INVALID_FUNCTION.
struct STORAGE_DEVICE_NUMBER_EX {
  DWORD Version;
  DWORD Size;
  DWORD Flags;
  DWORD DeviceType;
  DWORD DeviceNumber;
  GUID DeviceGuid;
  DWORD PartitionNumber;
};
static_assert(sizeof(STORAGE_DEVICE_NUMBER_EX) == 40);

// IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS (volumes only): where the volume lies. When the output
// has no room for every extent the call fails with ERROR_MORE_DATA, after storing
// NumberOfDiskExtents and the extents that fit.
struct DISK_EXTENT {
  DWORD DiskNumber;
  LARGE_INTEGER StartingOffset;
  LARGE_INTEGER ExtentLength;
};
struct VOLUME_DISK_EXTENTS {
  DWORD NumberOfDiskExtents;
  DISK_EXTENT Extents[1];
};
static_assert(sizeof(DISK_EXTENT) == 24);
static_assert(sizeof(VOLUME_DISK_EXTENTS) == 32);

// IOCTL_STORAGE_QUERY_PROPERTY: only StorageDeviceProperty, with PropertyStandardQuery (the
// descriptor) or PropertyExistsQuery. Any other property fails with ERROR_NOT_SUPPORTED.
enum STORAGE_PROPERTY_ID : std::int32_t { StorageDeviceProperty = 0 };
enum STORAGE_QUERY_TYPE : std::int32_t { PropertyStandardQuery = 0, PropertyExistsQuery = 1 };
struct STORAGE_PROPERTY_QUERY {
  STORAGE_PROPERTY_ID PropertyId;
  STORAGE_QUERY_TYPE QueryType;
  BYTE AdditionalParameters[1];
};
static_assert(sizeof(STORAGE_PROPERTY_QUERY) == 12);

enum STORAGE_BUS_TYPE : std::int32_t {
  BusTypeUnknown = 0,
  BusTypeScsi = 1,
  BusTypeAtapi = 2,
  BusTypeAta = 3,
  BusType1394 = 4,
  BusTypeSsa = 5,
  BusTypeFibre = 6,
  BusTypeUsb = 7,
  BusTypeRAID = 8,
  BusTypeiScsi = 9,
  BusTypeSas = 10,
  BusTypeSata = 11,
  BusTypeSd = 12,
  BusTypeMmc = 13,
  BusTypeVirtual = 14,
  BusTypeFileBackedVirtual = 15,
  BusTypeSpaces = 16,
  BusTypeNvme = 17
};

// The answer to the standard query: this record, then the NUL-terminated texts that its
// offsets point to (an offset of 0 means the device gives no such text). Size counts the
// record and the texts. The output receives as many of these bytes as it has room for.
struct STORAGE_DEVICE_DESCRIPTOR {
  DWORD Version;
  DWORD Size;
  BYTE DeviceType;
  BYTE DeviceTypeModifier;
  BOOLEAN RemovableMedia;
  BOOLEAN CommandQueueing;
  DWORD VendorIdOffset;
  DWORD ProductIdOffset;
  DWORD ProductRevisionOffset;
  DWORD SerialNumberOffset;
  STORAGE_BUS_TYPE BusType;
  DWORD RawPropertiesLength;
  BYTE RawDeviceProperties[1];
};
static_assert(sizeof(STORAGE_DEVICE_DESCRIPTOR) == 40);

// Sends a control code to a device. Codes that the layer does not know, and volume controls
// sent to a physical drive, fail with ERROR_INVALID_FUNCTION; an output smaller than the
// record fails with ERROR_INSUFFICIENT_BUFFER. FSCTL_LOCK_VOLUME takes the volume for this
// handle alone until the handle is closed (ERROR_ACCESS_DENIED or ERROR_BUSY while another
// holder has it); FSCTL_DISMOUNT_VOLUME takes its file system off line (on Linux: unmounts
// it, never lazily); both need a handle opened with read or write access.
// FSCTL_ALLOW_EXTENDED_DASD_IO succeeds on volumes, whose every sector is always reachable.
BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
                     LPVOID outBuffer, DWORD outBufferSize, LPDWORD bytesReturned,
                     LPOVERLAPPED overlapped);

// ---- Volumes and drive letters ----
constexpr DWORD MAX_PATH = 260;

// The volume walk: names of the form "\\?\Volume{GUID}\", a snapshot taken by
// FindFirstVolumeA. FindFirstVolumeA returns INVALID_HANDLE_VALUE (ERROR_NO_MORE_FILES when the
// machine has no volume); FindNextVolumeA returns FALSE with ERROR_NO_MORE_FILES after the last
// name. A buffer too small for the name fails with ERROR_FILENAME_EXCED_RANGE.
HANDLE FindFirstVolumeA(LPSTR volumeName, DWORD bufferLength);
BOOL FindNextVolumeA(HANDLE findVolume, LPSTR volumeName, DWORD bufferLength);
BOOL FindVolumeClose(HANDLE findVolume);

// The label and file system name of the volume at rootPathName ("\\?\Volume{GUID}\", "X:\" or
// "\\.\X:\", with the trailing backslash). Every output may be null. Fails with
// ERROR_UNRECOGNIZED_VOLUME for a volume without a file system that the machine knows, and
// ERROR_INSUFFICIENT_BUFFER when a text does not fit.
BOOL GetVolumeInformationA(LPCSTR rootPathName, LPSTR volumeNameBuffer, DWORD volumeNameSize,
                           LPDWORD volumeSerialNumber, LPDWORD maximumComponentLength,
                           LPDWORD fileSystemFlags, LPSTR fileSystemNameBuffer,
                           DWORD fileSystemNameSize);

// Bit n is set for each drive letter 'A' + n that the machine has; 0 with the last error set
// on failure.
DWORD GetLogicalDrives();

// Removes a drive letter ("X:\" or "\\.\X:\"). On the simulated machine the letter stays gone
// for every process that serves that machine; on Linux, where drive letters are only names
// for mounted file systems, it fails with ERROR_NOT_SUPPORTED.
BOOL DeleteVolumeMountPointA(LPCSTR volumeMountPoint);

// The root of the volume that holds the file or folder `fileName`, with its trailing
// backslash ("C:\" for "C:\Tools\x"). A path that starts with a drive letter gives that
// letter's root. Any other path is one of the machine's own file systems: on Linux the root is
// the drive letter of the mounted file system that holds it; the simulated machine holds no
// files. Fails with ERROR_PATH_NOT_FOUND for a path that does not exist or lies on no lettered
// volume, ERROR_NOT_SUPPORTED for network and device paths ("\\server\share"), and
// ERROR_FILENAME_EXCED_RANGE when the root does not fit the buffer.
BOOL GetVolumePathNameA(LPCSTR fileName, LPSTR volumePathName, DWORD bufferLength);

// ---- What the system under this layer calls a device ----
// Beside the names of this layer, a drive has the name the system under it gives it ("/dev/sdb"
// on Linux), its volumes are mounted at the system's own paths, and where the storage
// descriptor has no model or serial the system may say something else that tells the disk
// apart. The simulated machine gives only what its machine file describes.

// The system's names for the DOS device `deviceName`, as a list of NUL-terminated texts ended
// by a second NUL: for "PhysicalDriveN" the system's device path ("/dev/sdb" on Linux).
// Returns the number of characters stored, both NULs included; 0 with the last error set:
// ERROR_FILE_NOT_FOUND for a name the machine has no system name for, ERROR_INSUFFICIENT_BUFFER
// when the list does not fit, ERROR_NOT_SUPPORTED for a null name (the list of all names).
DWORD QueryDosDeviceA(LPCSTR deviceName, LPSTR targetPath, DWORD max);

// The paths at which the volume "\\?\Volume{GUID}\" (with its trailing backslash) is mounted,
// as a list of NUL-terminated texts ended by a second NUL: its drive letter's root ("D:\") when
// it has one, then the system's own mount points ("/media/stick" on Linux). A volume mounted
// nowhere gives the empty list. `returned` receives the characters stored, or, with
// ERROR_MORE_DATA, the characters needed. FALSE with ERROR_INVALID_NAME for a name that is not
// of that form and ERROR_FILE_NOT_FOUND for a volume the machine does not have.
BOOL GetVolumePathNamesForVolumeNameA(LPCSTR volumeName, LPSTR names, DWORD length,
                                      LPDWORD returned);

// IOCTL_DISK_STAND_INS (a control code of this layer's own, in the range Windows leaves to
// drivers): for a drive whose storage descriptor has no model or no serial, what the system
// says of the disk in their place, each with what it is, for telling the disk apart on screen.
// On Linux: a loop device's backing file and a disk's driver for the model, the disk's world
// wide identifier for the serial. A text longer than the record holds keeps its end.
constexpr DWORD IOCTL_DISK_STAND_INS = 0x00072000;

// IOCTL_DISK_VOLUME_NAMES (a control code of this layer's own, beside IOCTL_DISK_STAND_INS),
// drives only: the names that the volume walk (FindFirstVolumeA) gives for the volumes that lie
// on the drive, in whole or in part, in the walk's order, as a list of NUL-terminated texts ended
// by a second NUL (two NULs for none). `bytesReturned` receives the characters stored, or, with
// ERROR_MORE_DATA, the characters needed. Nothing of the machine's other drives is read, which
// the walk of every volume does (on Linux it probes every blank disk for a file system): a
// program that takes a disk's volumes away finds them at once, however many drives the machine
// has. A volume handle fails with ERROR_INVALID_FUNCTION, as Windows fails the code on any
// device.
constexpr DWORD IOCTL_DISK_VOLUME_NAMES = 0x00072004;

enum STAND_IN_KIND : std::int32_t {
  StandInNone = 0,        // nothing to stand in: the text is empty
  StandInBackingFile = 1, // the file a virtual disk keeps its sectors in
  StandInDriver = 2,      // the name of the disk's driver
  StandInIdentifier = 3,  // an identifier the disk reports beside its serial number
};

struct DISK_STAND_IN {
  STAND_IN_KIND Kind;
  char Text[MAX_PATH];
};

struct DISK_STAND_INS {
  DISK_STAND_IN Model;  // when the descriptor's vendor and product are empty
  DISK_STAND_IN Serial; // when the descriptor's serial number is empty
};
static_assert(sizeof(DISK_STAND_INS) == 2 * (4 + MAX_PATH));

// ---- Memory ----
constexpr DWORD MEM_COMMIT = 0x00001000;
constexpr DWORD MEM_RESERVE = 0x00002000;
constexpr DWORD MEM_DECOMMIT = 0x00004000;
constexpr DWORD MEM_RELEASE = 0x00008000;
constexpr DWORD MEM_LARGE_PAGES = 0x20000000;
constexpr DWORD PAGE_READWRITE = 0x04;

// Only new, committed, read-write memory (no address, MEM_COMMIT with or without MEM_RESERVE,
// PAGE_READWRITE): page-aligned and zero-filled. With MEM_LARGE_PAGES (and MEM_RESERVE, as on
// Windows) the size must be a multiple of GetLargePageMinimum(), and the block starts on a large
// page boundary and is made of large pages: on Linux it is advised for transparent huge pages,
// which the kernel gives where it has them at hand and small pages elsewhere. Returns null with
// the last error set (ERROR_NOT_ENOUGH_MEMORY; ERROR_NOT_SUPPORTED for large pages where the
// system has none; ERROR_INVALID_PARAMETER for anything else).
LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect);
// The size of a large page (the system's huge page, 2 MiB on x86-64 Linux), or 0 when the
// system has none to give.
SIZE_T GetLargePageMinimum();
// Only MEM_RELEASE with size 0 of a block from VirtualAlloc; ERROR_INVALID_ADDRESS for an
// address that VirtualAlloc did not give.
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);

// ---- Error mode ----
constexpr UINT SEM_FAILCRITICALERRORS = 0x0001;
constexpr UINT SEM_NOGPFAULTERRORBOX = 0x0002;
constexpr UINT SEM_NOOPENFILEERRORBOX = 0x8000;

// Sets the process's error mode and returns the previous one. This system never shows
// critical-error message boxes, so the mode is only kept.
UINT SetErrorMode(UINT mode);
