#include "provider/jet/file_lock.h"
