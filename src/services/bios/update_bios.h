// UpdateBios: mounts the BIOS update medium.
#pragma once

// Makes sure "/mnt/bios" exists (created 0777 less the umask). False, logged, when it cannot.
bool bios_prepare_mount_point();

// Prepares "/mnt/bios" and mounts the update medium on it, read-only when the medium is
// write-protected. False only when the mount point could not be prepared; the outcome of the
// mount itself is not judged.
bool update_bios_mount_medium();
