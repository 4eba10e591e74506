#include "storage/VantrixStorageDevice.h"

VantrixStorageDevice::~VantrixStorageDevice() { Close(); }

void VantrixStorageDevice::Release() { delete this; }

bool VantrixStorageDevice::IsOpen() const { return m_hDevice != kClosed && m_hDevice != 0; }
