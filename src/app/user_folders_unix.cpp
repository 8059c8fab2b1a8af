#include "app/user_folders.h"

void useUserFolders() {}
