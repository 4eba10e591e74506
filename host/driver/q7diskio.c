/* q7diskio.sys: the host's disk-I/O driver. It owns the control device
 * \Device\q7diskio (user mode: \\.\q7diskio) and serves one request,
 * IOCTL_WRITE_SECTORS: write whole sectors to \??\PhysicalDrive<N>.
 *
 * Guarantees:
 * - A request is checked before anything is written: its length must be
 *   Q7DISKIO_REQUEST_OVERHEAD + count x sector size with a count above zero
 *   and a sector size of 512 or 4096, and its byte range must fit a 64-bit
 *   signed offset. Anything else fails with STATUS_INVALID_PARAMETER.
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
#include <wdm.h>

#include "q7diskio.h"

_Static_assert(IOCTL_WRITE_SECTORS ==
                   CTL_CODE(Q7DISKIO_DEVICE_TYPE, 0x904, METHOD_OUT_DIRECT, FILE_ANY_ACCESS),
               "control code");

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
  ULONG clients; /* file objects open on the control device */
} Q7State;

DRIVER_INITIALIZE DriverEntry;
static DRIVER_UNLOAD Q7Unload;
static DRIVER_DISPATCH Q7Create;
static DRIVER_DISPATCH Q7Close;
static DRIVER_DISPATCH Q7DeviceControl;

static const WCHAR kDeviceName[] = L"\\Device\\q7diskio";
static const WCHAR kLinkName[] = L"\\DosDevices\\q7diskio";

static Q7State* StateOf(PDEVICE_OBJECT device) { return (Q7State*)device->DeviceExtension; }

static void Lock(Q7State* state) {
  KeWaitForSingleObject(&state->lock, Executive, KernelMode, /*Alertable=*/FALSE,
                        /*Timeout=*/NULL);
}

static void Unlock(Q7State* state) { KeReleaseMutex(&state->lock, /*Wait=*/FALSE); }

static NTSTATUS Complete(PIRP irp, NTSTATUS status) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = 0;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static NTSTATUS OpenDisk(ULONG number, HANDLE* handle) {
  WCHAR pathBuffer[40];
  UNICODE_STRING path = {0, sizeof pathBuffer, pathBuffer};
  WCHAR digitBuffer[12];
  UNICODE_STRING digits = {0, sizeof digitBuffer, digitBuffer};
  NTSTATUS status = RtlAppendUnicodeToString(&path, L"\\??\\PhysicalDrive");
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
  Lock(state);
  Q7Disk* disk = state->disks;
  while (disk && disk->number != number) disk = disk->next;
  if (!disk) {
    disk = (Q7Disk*)ExAllocatePoolWithTag(PagedPool, sizeof *disk, Q7_POOL_TAG);
    status = disk ? OpenDisk(number, &disk->handle) : STATUS_INSUFFICIENT_RESOURCES;
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
  Unlock(state);
  return status;
}

/* Ends one use of `disk`. After a failed write the disk is dropped, so that
 * the next request opens its number again. */
static void ReleaseDisk(Q7State* state, Q7Disk* disk, BOOLEAN failed) {
  Lock(state);
  --disk->users;
  if (failed && disk->listed) {
    Q7Disk** link = &state->disks;
    while (*link != disk) link = &(*link)->next;
    *link = disk->next;
    disk->listed = FALSE;
  }
  if (!disk->listed && disk->users == 0) FreeDisk(disk);
  Unlock(state);
}

/* The sector size a request of `length` bytes carrying `count` sectors
 * implies, or 0 when it implies neither 512 nor 4096. */
static ULONG SectorSizeOf(ULONG length, ULONG count) {
  static const ULONG kSizes[] = {512, 4096};
  if (count == 0) return 0;
  for (ULONG i = 0; i < sizeof kSizes / sizeof kSizes[0]; ++i) {
    if ((ULONGLONG)count * kSizes[i] + Q7DISKIO_REQUEST_OVERHEAD == length) return kSizes[i];
  }
  return 0;
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

static NTSTATUS Q7Create(PDEVICE_OBJECT device, PIRP irp) {
  Q7State* state = StateOf(device);
  Lock(state);
  ++state->clients;
  Unlock(state);
  return Complete(irp, STATUS_SUCCESS);
}

static NTSTATUS Q7Close(PDEVICE_OBJECT device, PIRP irp) {
  Q7State* state = StateOf(device);
  Lock(state);
  if (state->clients > 0 && --state->clients == 0) CloseAllDisks(state);
  Unlock(state);
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

NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  (void)registryPath;
  UNICODE_STRING name;
  UNICODE_STRING link;
  RtlInitUnicodeString(&name, kDeviceName);
  RtlInitUnicodeString(&link, kLinkName);

  PDEVICE_OBJECT device;
  NTSTATUS status = IoCreateDevice(driver, sizeof(Q7State), &name, Q7DISKIO_DEVICE_TYPE,
                                   FILE_DEVICE_SECURE_OPEN, /*Exclusive=*/FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  Q7State* state = StateOf(device);
  KeInitializeMutex(&state->lock, /*Level=*/0);
  state->disks = NULL;
  state->clients = 0;

  status = IoCreateSymbolicLink(&link, &name);
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
