#include "provider/jet/commit_io.h"
