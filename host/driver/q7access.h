/* Who may open q7diskio's control device: the security descriptor the
 * driver gives \Device\q7diskio, and the rule its create routine applies to
 * the caller's token. Plain C without kernel headers, so that tests compile
 * it for user mode and check it with the system's own security routines. */
#ifndef Q7ACCESS_H
#define Q7ACCESS_H

#ifdef __cplusplus
extern "C" {
#endif

/* The control device's security descriptor in self-relative form: no owner,
 * group or SACL (the system keeps its own), and a protected DACL that grants
 * all file access (FILE_ALL_ACCESS) to LocalSystem (S-1-5-18) and to the
 * Administrators alias (S-1-5-32-544) and nothing to anyone else; in SDDL
 * "D:P(A;;FA;;;SY)(A;;FA;;;BA)". */
#define Q7_DEVICE_DESCRIPTOR_SIZE 72u
void Q7BuildDeviceDescriptor(unsigned char descriptor[Q7_DEVICE_DESCRIPTOR_SIZE]);

/* One SID of a token with its attributes, laid out as the system's
 * SID_AND_ATTRIBUTES on x64 (the driver asserts the layout). */
typedef struct Q7SidAndAttributes {
  const void* sid;
  unsigned int attributes;
} Q7SidAndAttributes;

/* SE_GROUP_ENABLED and SE_GROUP_USE_FOR_DENY_ONLY. */
#define Q7_GROUP_ENABLED 0x4u
#define Q7_GROUP_DENY_ONLY 0x10u

/* Nonzero when a token whose user is `user` and whose groups are the
 * `count` entries of `groups` may open the device: its user is LocalSystem,
 * or one of its groups is the Administrators alias, enabled and not for deny
 * only (an elevated administrator; under UAC a filtered administrator's token
 * holds the alias for deny only). `user` and `groups` may be null. */
int Q7TokenMayOpen(const Q7SidAndAttributes* user, const Q7SidAndAttributes* groups,
                   unsigned int count);

#ifdef __cplusplus
}
#endif

#endif
