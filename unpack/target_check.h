// The check that the target directory will not hide part of the archive.
//
// The mount lays the archive's entries over the folder the archive lies in,
// and a real file or folder there hides an archive entry of the same name.
// The default target of "sound.KVZ" is "sound" beside it: created there, it
// would hide the archive's own folder "sound", and the walk would leave out
// everything in it.
#ifndef KVZ_UNPACK_TARGET_CHECK_H
#define KVZ_UNPACK_TARGET_CHECK_H

#include "platform/win32.h"

// True when target_dir (absolute) does not exist yet, would be created
// directly in the mount folder (mount_dir, mount_length characters in a
// buffer of kPathChars; the two compared resolved, A-Z taken as a-z)
// and bears the name of an entry at the archive's top level (A-Z taken as
// a-z). That entry's name is then copied to hidden_name. Looks through the
// mounted archive's search; mount_dir reads as before on return.
bool TargetHidesArchiveEntry(const char *target_dir, char *mount_dir, int mount_length,
                             char hidden_name[MAX_PATH]);

#endif
