#ifndef VTX_CHOST_HOST_GROUPS_H
#define VTX_CHOST_HOST_GROUPS_H

#include "HostCheck.h"

/* Every group of the C host, one per interface family; the list ends with a
   null entry. */

void AlgorithmsThroughTheirSlots(void);
void DeviceManagerThroughItsSlots(void);
void DeviceManagerIdentityExports(void);
void ManagerWipesFilesAndFolders(void);
void ManagerWipesLoopDisks(void);
void ModuleEntryThroughItsSlots(void);
void PurgeRefusesWhatIsNoDisk(void);
void PurgeDiscardsLoopDisk(void);

static const HostGroupEntry kHostGroups[] = {
    {"algorithms", AlgorithmsThroughTheirSlots},
    {"device manager", DeviceManagerThroughItsSlots},
    {"device manager identity", DeviceManagerIdentityExports},
    {"manager-files", ManagerWipesFilesAndFolders},
    {"command service", ModuleEntryThroughItsSlots},
    {"purge", PurgeRefusesWhatIsNoDisk},
    {NULL, NULL},
};

/* Groups that need the loop-disk fixture: they run only when named. */
static const HostGroupEntry kHostFixtureGroups[] = {
    {"manager-disks", ManagerWipesLoopDisks},
    {"purge-disks", PurgeDiscardsLoopDisk},
    {NULL, NULL},
};

#endif
