/* The control device's access rule (q7access.h). Built byte by byte: the
 * layouts are the system's documented self-relative security descriptor,
 * ACL, ACCESS_ALLOWED_ACE and SID, all little-endian. */
#include "q7access.h"

enum {
  kSidHeader = 8, /* revision, sub-authority count, 6-byte identifier authority */
  kDescriptorHeader = 20,
  kAclHeader = 8,
  kAceHeader = 8, /* type, flags, size, access mask */
};

/* S-1-5-18, LocalSystem. */
static const unsigned char kLocalSystem[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
/* S-1-5-32-544, the Administrators alias. */
static const unsigned char kAdministrators[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};

#define Q7_FILE_ALL_ACCESS 0x001F01FFu
#define Q7_DESCRIPTOR_CONTROL 0x9004u /* SE_SELF_RELATIVE | SE_DACL_PROTECTED | SE_DACL_PRESENT */

static void Put16(unsigned char* at, unsigned int value) {
  at[0] = (unsigned char)value;
  at[1] = (unsigned char)(value >> 8);
}

static void Put32(unsigned char* at, unsigned int value) {
  Put16(at, value & 0xFFFFu);
  Put16(at + 2, value >> 16);
}

static unsigned int AllowAll(unsigned char* ace, const unsigned char* sid, unsigned int sidSize) {
  const unsigned int size = kAceHeader + sidSize;
  ace[0] = 0; /* ACCESS_ALLOWED_ACE_TYPE */
  ace[1] = 0; /* not inherited, inherits nothing */
  Put16(ace + 2, size);
  Put32(ace + 4, Q7_FILE_ALL_ACCESS);
  for (unsigned int i = 0; i < sidSize; ++i) ace[kAceHeader + i] = sid[i];
  return size;
}

void Q7BuildDeviceDescriptor(unsigned char descriptor[Q7_DEVICE_DESCRIPTOR_SIZE]) {
  unsigned char* acl = descriptor + kDescriptorHeader;
  unsigned int aclSize = kAclHeader;
  aclSize += AllowAll(acl + aclSize, kLocalSystem, sizeof kLocalSystem);
  aclSize += AllowAll(acl + aclSize, kAdministrators, sizeof kAdministrators);

  descriptor[0] = 1; /* SECURITY_DESCRIPTOR_REVISION */
  descriptor[1] = 0;
  Put16(descriptor + 2, Q7_DESCRIPTOR_CONTROL);
  Put32(descriptor + 4, 0);  /* owner */
  Put32(descriptor + 8, 0);  /* group */
  Put32(descriptor + 12, 0); /* SACL */
  Put32(descriptor + 16, kDescriptorHeader);
  acl[0] = 2; /* ACL_REVISION */
  acl[1] = 0;
  Put16(acl + 2, aclSize);
  Put16(acl + 4, 2); /* ACE count */
  Put16(acl + 6, 0);
}

/* Whether `sid` (a well-formed SID) is `wanted`. */
static int IsSid(const void* sid, const unsigned char* wanted, unsigned int wantedSize) {
  const unsigned char* bytes = (const unsigned char*)sid;
  if (!bytes || kSidHeader + 4u * bytes[1] != wantedSize) return 0;
  for (unsigned int i = 0; i < wantedSize; ++i) {
    if (bytes[i] != wanted[i]) return 0;
  }
  return 1;
}

int Q7TokenMayOpen(const Q7SidAndAttributes* user, const Q7SidAndAttributes* groups,
                   unsigned int count) {
  if (user && IsSid(user->sid, kLocalSystem, sizeof kLocalSystem)) return 1;
  for (unsigned int i = 0; groups && i < count; ++i) {
    const unsigned int attributes = groups[i].attributes;
    if ((attributes & Q7_GROUP_ENABLED) && !(attributes & Q7_GROUP_DENY_ONLY) &&
        IsSid(groups[i].sid, kAdministrators, sizeof kAdministrators)) {
      return 1;
    }
  }
  return 0;
}
