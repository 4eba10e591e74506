#pragma once

#include "common/Functor.h"
#include "common/IDataWiperManager.h"
#include "service/ProgressWrapper.h"

// The calls a wipe task's thread makes: the wipe manager bound as the object,
// one of its operations, and every argument bound when the task starts.

// WipeFile or WipeFolder (path copy, option, holder); the int becomes the
// operation's bool, true when not 0.
using PathTaskFunctor = Functor<int, Seq<char*, int, vantrix_Web::CProgressWrapper*>>;

// WipeDevice (device manager, disk, partition, algorithm, holder).
using DeviceTaskFunctor =
    Functor<int, Seq<IDeviceManager*, int, int, int, vantrix_Web::CProgressWrapper*>>;

// WipeVolFreeSpace (device manager, disk, partition, flag, holder).
using FreeSpaceTaskFunctor =
    Functor<int, Seq<IDeviceManager*, int, int, bool, vantrix_Web::CProgressWrapper*>>;
