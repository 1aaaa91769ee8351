#include "provider/jet/rollback_journal.h"
