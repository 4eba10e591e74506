#ifndef VTX_CHOST_HOST_MODULE_H
#define VTX_CHOST_HOST_MODULE_H

/* The platform's part of the C host: loads the built module and the host's
   device manager (DeviceManager.dll / libDeviceManager.so) the way a host
   does, from the folder of the running program (LoadLibraryW / dlopen). */

/* Non-zero when the module was loaded; on failure `why` holds the reason. */
int HostLoadModule(char* why, unsigned int whySize);
void HostUnloadModule(void);
/* An exported function of the module, or of the device manager; null when
   missing. */
void* HostSymbol(const char* name);
void* HostDeviceManagerSymbol(const char* name);
/* An exported function of the purge library (VantrixPurge.dll /
   libVantrixPurge.so), loaded on first use; null when missing. */
void* HostPurgeSymbol(const char* name);

/* Creates one folder (its parent must exist); non-zero on success. */
int HostMakeFolder(const char* path);
int HostPathExists(const char* path);
/* Sets an environment variable of this process, seen by the libraries it
   loaded; non-zero on success. */
int HostSetEnvironment(const char* name, const char* value);
void HostSleep(unsigned int milliseconds);

#endif
