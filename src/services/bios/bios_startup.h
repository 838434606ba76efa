// The BIOS service's own start-up work, done before its bus name is requested.
#pragma once

// A fresh service state, the update mount point, model detection, fresh-install setup and
// the secure boot notice. False when the mount point could not be prepared (nothing after it
// ran): the service is then not started.
bool bios_prepare();
