#include "files/user_folders.h"

void useUserFolders() {}
