#ifndef VTX_CHOST_HOST_MODULE_H
#define VTX_CHOST_HOST_MODULE_H

/* Loads the built module the way a host does, from the folder of the running
   program (LoadLibraryW / dlopen), and finds its exported functions. */

/* Non-zero when the module was loaded; on failure `why` holds the reason. */
int HostLoadModule(char* why, unsigned int whySize);
/* The address of an exported function, or null. */
void* HostSymbol(const char* name);
void HostUnloadModule(void);
/* An exported function of the host's device manager (DeviceManager.dll /
   libDeviceManager.so beside the program), or null. */
void* HostDeviceManagerSymbol(const char* name);

/* Creates one folder (its parent must exist); non-zero on success. */
int HostMakeFolder(const char* path);
/* Whether a file or folder exists at `path`. */
int HostPathExists(const char* path);
/* Sets an environment variable of this process, seen by the libraries it
   loaded; non-zero on success. */
int HostSetEnvironment(const char* name, const char* value);
void HostSleep(unsigned int milliseconds);
/* The current folder with a separator at its end; non-zero on success. */
int HostWorkFolder(char* path, unsigned int size);

#endif
