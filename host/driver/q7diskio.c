/* q7diskio.sys: the host's disk-I/O driver. It owns the control device
 * \Device\q7diskio (user mode: \\.\q7diskio) and serves one request,
 * IOCTL_WRITE_SECTORS: write whole sectors to \GLOBAL??\PhysicalDrive<N>.
 *
 * Guarantees:
 * - Only LocalSystem and elevated administrators open the control device:
 *   it carries the protected DACL of q7access.h (which the I/O manager checks
 *   before the create routine runs, FILE_DEVICE_SECURE_OPEN extending it to
 *   every name below the device), and the create routine refuses a user-mode
 *   caller whose token q7access.h does not admit. The device is exclusive:
 *   one handle at a time.
 * - Disks are named in the global DOS-device namespace, never through the
 *   caller's device map. Where the system has no \GLOBAL?? directory (Wine,
 *   whose single DOS-device namespace is shared by every process) the
 *   driver names them \??\PhysicalDrive<N>; the choice is made once, at
 *   load.
 * - A request is checked before anything is written: its length must be
 *   Q7DISKIO_REQUEST_OVERHEAD + count x sector size with a count above zero
 *   and a sector size that is a power of two from 512 to 4096, and its byte
 *   range must fit a 64-bit signed offset. Anything else fails with
 *   STATUS_INVALID_PARAMETER.
 * - Success is reported only when every byte was written, through a handle
 *   opened write-through: a failed open, a failed write and a short write
 *   all fail the request with a failure status (a short write with
 *   STATUS_IO_DEVICE_ERROR). The driver does not bound a request by the
 *   disk's length: the disk below refuses what lies past its end (Wine's
 *   block devices first take the sectors that fit, then report the short
 *   write). Wine 8 ignores write-through: there the bytes reach the Linux
 *   block device's cache, which the kernel writes back.
 * - Each disk is opened once and its handle kept while any client holds the
 *   control device open; when the last client closes it, every disk handle
 *   is closed, so a later client always reaches the disk its number names
 *   then. A write that fails drops its disk's handle as well.
 *
 * Every routine runs at PASSIVE_LEVEL. Only routines that Wine's ntoskrnl
 * implements are called, so the driver also runs under Wine. */
#include <ntifs.h>

#include "q7access.h"
#include "q7diskio.h"

_Static_assert(IOCTL_WRITE_SECTORS ==
                   CTL_CODE(Q7DISKIO_DEVICE_TYPE, 0x904, METHOD_OUT_DIRECT, FILE_ANY_ACCESS),
               "control code");
_Static_assert(sizeof(SID_AND_ATTRIBUTES) == sizeof(Q7SidAndAttributes) &&
                   __builtin_offsetof(SID_AND_ATTRIBUTES, Sid) ==
                       __builtin_offsetof(Q7SidAndAttributes, sid) &&
                   __builtin_offsetof(SID_AND_ATTRIBUTES, Attributes) ==
                       __builtin_offsetof(Q7SidAndAttributes, attributes),
               "q7access.h reads the system's SID_AND_ATTRIBUTES");

/* "Q7Di" in a pool dump. */
#define Q7_POOL_TAG 0x69443751u

/* One open disk. A disk dropped after a failed write leaves the list at
 * once but is closed only when the last request writing through it ends. */
typedef struct Q7Disk {
  struct Q7Disk* next;
  ULONG number;
  ULONG users; /* requests writing through `handle` now */
  BOOLEAN listed;
  HANDLE handle; /* kernel handle, synchronous, write-through */
} Q7Disk;

/* The device extension. `lock` guards `disks` and `clients`. */
typedef struct Q7State {
  KMUTEX lock;
  Q7Disk* disks;
  ULONG clients;           /* file objects open on the control device */
  const WCHAR* diskPrefix; /* where PhysicalDrive<N> is looked up */
} Q7State;

DRIVER_INITIALIZE DriverEntry;
static DRIVER_UNLOAD Q7Unload;
static DRIVER_DISPATCH Q7Create;
static DRIVER_DISPATCH Q7Close;
static DRIVER_DISPATCH Q7DeviceControl;

static const WCHAR kDeviceName[] = L"\\Device\\q7diskio";
static const WCHAR kLinkName[] = L"\\DosDevices\\q7diskio";
static const WCHAR kGlobalDosDevices[] = L"\\GLOBAL??";
static const WCHAR kGlobalDiskPrefix[] = L"\\GLOBAL??\\PhysicalDrive";
static const WCHAR kSharedDiskPrefix[] = L"\\??\\PhysicalDrive";

static Q7State* StateOf(PDEVICE_OBJECT device) { return (Q7State*)device->DeviceExtension; }

static void LockState(Q7State* state) {
  KeWaitForSingleObject(&state->lock, Executive, KernelMode, /*Alertable=*/FALSE,
                        /*Timeout=*/NULL);
}

static void UnlockState(Q7State* state) { KeReleaseMutex(&state->lock, /*Wait=*/FALSE); }

static NTSTATUS Complete(PIRP irp, NTSTATUS status) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = 0;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static NTSTATUS OpenDisk(const WCHAR* prefix, ULONG number, HANDLE* handle) {
  WCHAR pathBuffer[48];
  UNICODE_STRING path = {0, sizeof pathBuffer, pathBuffer};
  WCHAR digitBuffer[12];
  UNICODE_STRING digits = {0, sizeof digitBuffer, digitBuffer};
  NTSTATUS status = RtlAppendUnicodeToString(&path, prefix);
  if (NT_SUCCESS(status)) status = RtlIntegerToUnicodeString(number, /*Base=*/10, &digits);
  if (NT_SUCCESS(status)) status = RtlAppendUnicodeStringToString(&path, &digits);
  if (!NT_SUCCESS(status)) return status;

  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                             /*RootDirectory=*/NULL, /*SecurityDescriptor=*/NULL);
  IO_STATUS_BLOCK io;
  return ZwCreateFile(handle, FILE_WRITE_DATA | SYNCHRONIZE, &attributes, &io,
                      /*AllocationSize=*/NULL, FILE_ATTRIBUTE_NORMAL,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN,
                      FILE_SYNCHRONOUS_IO_NONALERT | FILE_WRITE_THROUGH | FILE_NON_DIRECTORY_FILE,
                      /*EaBuffer=*/NULL, /*EaLength=*/0);
}

static void FreeDisk(Q7Disk* disk) {
  ZwClose(disk->handle);
  ExFreePoolWithTag(disk, Q7_POOL_TAG);
}

/* Disk `number`, opened on first use, with one more user. */
static NTSTATUS AcquireDisk(Q7State* state, ULONG number, Q7Disk** found) {
  NTSTATUS status = STATUS_SUCCESS;
  LockState(state);
  Q7Disk* disk = state->disks;
  while (disk && disk->number != number) disk = disk->next;
  if (!disk) {
    disk = (Q7Disk*)ExAllocatePoolWithTag(PagedPool, sizeof *disk, Q7_POOL_TAG);
    status =
        disk ? OpenDisk(state->diskPrefix, number, &disk->handle) : STATUS_INSUFFICIENT_RESOURCES;
    if (NT_SUCCESS(status)) {
      disk->number = number;
      disk->users = 0;
      disk->listed = TRUE;
      disk->next = state->disks;
      state->disks = disk;
    } else if (disk) {
      ExFreePoolWithTag(disk, Q7_POOL_TAG);
    }
  }
  if (NT_SUCCESS(status)) {
    ++disk->users;
    *found = disk;
  }
  UnlockState(state);
  return status;
}

/* Ends one use of `disk`. After a failed write the disk is dropped, so that
 * the next request opens its number again. */
static void ReleaseDisk(Q7State* state, Q7Disk* disk, BOOLEAN failed) {
  LockState(state);
  --disk->users;
  if (failed && disk->listed) {
    Q7Disk** link = &state->disks;
    while (*link != disk) link = &(*link)->next;
    *link = disk->next;
    disk->listed = FALSE;
  }
  if (!disk->listed && disk->users == 0) FreeDisk(disk);
  UnlockState(state);
}

/* The sector size a request of `length` bytes carrying `count` sectors
 * implies, or 0 when it implies none from 512 to 4096 that is a power of
 * two. */
static ULONG SectorSizeOf(ULONG length, ULONG count) {
  if (count == 0 || length < Q7DISKIO_REQUEST_OVERHEAD) return 0;
  const ULONG bytes = length - Q7DISKIO_REQUEST_OVERHEAD;
  const ULONG size = bytes / count;
  const BOOLEAN powerOfTwo = (size & (size - 1)) == 0;
  if (bytes % count != 0 || !powerOfTwo || size < 512 || size > 4096) return 0;
  return size;
}

/* Closes every disk. Only when no request runs: the last client has gone, or
 * the driver is unloading. */
static void CloseAllDisks(Q7State* state) {
  while (state->disks) {
    Q7Disk* disk = state->disks;
    state->disks = disk->next;
    FreeDisk(disk);
  }
}

static NTSTATUS WriteSectors(Q7State* state, const Q7WriteSectorRequest* request, ULONG length) {
  if (!request || length < Q7DISKIO_REQUEST_OVERHEAD) return STATUS_INVALID_PARAMETER;
  ULONG sectorSize = SectorSizeOf(length, request->nSectorCount);
  if (sectorSize == 0) return STATUS_INVALID_PARAMETER;
  ULONG bytes = length - Q7DISKIO_REQUEST_OVERHEAD;
  if (request->nStartSector > (ULONGLONG)(MAXLONGLONG - bytes) / sectorSize) {
    return STATUS_INVALID_PARAMETER;
  }

  Q7Disk* disk;
  NTSTATUS status = AcquireDisk(state, request->nDiskNumber, &disk);
  if (!NT_SUCCESS(status)) return status;
  LARGE_INTEGER offset;
  offset.QuadPart = (LONGLONG)(request->nStartSector * sectorSize);
  IO_STATUS_BLOCK io;
  io.Information = 0;
  status = ZwWriteFile(disk->handle, /*Event=*/NULL, /*ApcRoutine=*/NULL, /*ApcContext=*/NULL, &io,
                       (PVOID)request->data, bytes, &offset, /*Key=*/NULL);
  if (NT_SUCCESS(status) && io.Information != bytes) status = STATUS_IO_DEVICE_ERROR;
  ReleaseDisk(state, disk, /*failed=*/!NT_SUCCESS(status));
  return status;
}

static NTSTATUS Q7DeviceControl(PDEVICE_OBJECT device, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->Parameters.DeviceIoControl.IoControlCode != IOCTL_WRITE_SECTORS) {
    return Complete(irp, STATUS_INVALID_DEVICE_REQUEST);
  }
  /* METHOD_OUT_DIRECT: the input was copied into the system buffer; the
   * output buffer (the same bytes in the caller) is not needed. */
  return Complete(irp, WriteSectors(StateOf(device),
                                    (const Q7WriteSectorRequest*)irp->AssociatedIrp.SystemBuffer,
                                    stack->Parameters.DeviceIoControl.InputBufferLength));
}

/* The token information of class `kind`, in pool memory the caller frees
 * with ExFreePoolWithTag; null when it cannot be read. */
static void* QueryToken(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
  ULONG size = 0;
  NTSTATUS status = ZwQueryInformationToken(token, kind, /*TokenInformation=*/NULL, 0, &size);
  if (status != STATUS_BUFFER_TOO_SMALL || size == 0) return NULL;
  void* information = ExAllocatePoolWithTag(PagedPool, size, Q7_POOL_TAG);
  if (information && !NT_SUCCESS(ZwQueryInformationToken(token, kind, information, size, &size))) {
    ExFreePoolWithTag(information, Q7_POOL_TAG);
    information = NULL;
  }
  return information;
}

/* Whether the thread opening the device may: a kernel-mode request, or a
 * user-mode caller whose token (its impersonation token if it impersonates,
 * else its process's) q7access.h admits. The create routine runs in the
 * caller's thread. */
static BOOLEAN CallerMayOpen(PIRP irp) {
  if (irp->RequestorMode == KernelMode) return TRUE;
  HANDLE token;
  NTSTATUS status = ZwOpenThreadTokenEx(NtCurrentThread(), TOKEN_QUERY, /*OpenAsSelf=*/TRUE,
                                        OBJ_KERNEL_HANDLE, &token);
  if (status == STATUS_NO_TOKEN) {
    status = ZwOpenProcessTokenEx(NtCurrentProcess(), TOKEN_QUERY, OBJ_KERNEL_HANDLE, &token);
  }
  if (!NT_SUCCESS(status)) return FALSE;
  TOKEN_USER* user = (TOKEN_USER*)QueryToken(token, TokenUser);
  TOKEN_GROUPS* groups = (TOKEN_GROUPS*)QueryToken(token, TokenGroups);
  ZwClose(token);
  const BOOLEAN admitted =
      user && groups &&
      Q7TokenMayOpen((const Q7SidAndAttributes*)&user->User,
                     (const Q7SidAndAttributes*)groups->Groups, groups->GroupCount);
  if (user) ExFreePoolWithTag(user, Q7_POOL_TAG);
  if (groups) ExFreePoolWithTag(groups, Q7_POOL_TAG);
  return admitted;
}

static NTSTATUS Q7Create(PDEVICE_OBJECT device, PIRP irp) {
  if (!CallerMayOpen(irp)) return Complete(irp, STATUS_ACCESS_DENIED);
  Q7State* state = StateOf(device);
  LockState(state);
  ++state->clients;
  UnlockState(state);
  return Complete(irp, STATUS_SUCCESS);
}

static NTSTATUS Q7Close(PDEVICE_OBJECT device, PIRP irp) {
  Q7State* state = StateOf(device);
  LockState(state);
  if (state->clients > 0 && --state->clients == 0) CloseAllDisks(state);
  UnlockState(state);
  return Complete(irp, STATUS_SUCCESS);
}

static void Q7Unload(PDRIVER_OBJECT driver) {
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, kLinkName);
  IoDeleteSymbolicLink(&link);
  PDEVICE_OBJECT device = driver->DeviceObject;
  if (device) {
    CloseAllDisks(StateOf(device));
    IoDeleteDevice(device);
  }
}

/* Replaces the DACL the device was created with by q7access.h's. */
static NTSTATUS ProtectDevice(PDEVICE_OBJECT device) {
  unsigned char descriptor[Q7_DEVICE_DESCRIPTOR_SIZE];
  Q7BuildDeviceDescriptor(descriptor);
  HANDLE handle;
  NTSTATUS status = ObOpenObjectByPointer(device, OBJ_KERNEL_HANDLE, /*PassedAccessState=*/NULL,
                                          WRITE_DAC, /*ObjectType=*/NULL, KernelMode, &handle);
  if (!NT_SUCCESS(status)) return status;
  status =
      ZwSetSecurityObject(handle, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                          (PSECURITY_DESCRIPTOR)descriptor);
  ZwClose(handle);
  return status;
}

/* Where disks are looked up: the global DOS-device directory, or, where the
 * system has none (Wine), the one DOS-device namespace every process shares.
 * Null when the directory's presence cannot be told. */
static const WCHAR* DiskPrefix(void) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, kGlobalDosDevices);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                             /*RootDirectory=*/NULL, /*SecurityDescriptor=*/NULL);
  HANDLE directory;
  const NTSTATUS status = ZwOpenDirectoryObject(&directory, DIRECTORY_QUERY, &attributes);
  if (NT_SUCCESS(status)) {
    ZwClose(directory);
    return kGlobalDiskPrefix;
  }
  const BOOLEAN absent =
      status == STATUS_OBJECT_NAME_NOT_FOUND || status == STATUS_OBJECT_PATH_NOT_FOUND;
  return absent ? kSharedDiskPrefix : NULL;
}

NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  (void)registryPath;
  UNICODE_STRING name;
  UNICODE_STRING link;
  RtlInitUnicodeString(&name, kDeviceName);
  RtlInitUnicodeString(&link, kLinkName);

  const WCHAR* diskPrefix = DiskPrefix();
  if (!diskPrefix) return STATUS_OBJECT_PATH_INVALID;

  PDEVICE_OBJECT device;
  NTSTATUS status = IoCreateDevice(driver, sizeof(Q7State), &name, Q7DISKIO_DEVICE_TYPE,
                                   FILE_DEVICE_SECURE_OPEN, /*Exclusive=*/TRUE, &device);
  if (!NT_SUCCESS(status)) return status;
  Q7State* state = StateOf(device);
  KeInitializeMutex(&state->lock, /*Level=*/0);
  state->disks = NULL;
  state->clients = 0;
  state->diskPrefix = diskPrefix;

  status = ProtectDevice(device);
  if (NT_SUCCESS(status)) status = IoCreateSymbolicLink(&link, &name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(device);
    return status;
  }
  driver->MajorFunction[IRP_MJ_CREATE] = Q7Create;
  driver->MajorFunction[IRP_MJ_CLOSE] = Q7Close;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = Q7DeviceControl;
  driver->DriverUnload = Q7Unload;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}
