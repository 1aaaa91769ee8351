#include "provider/jet/jet_structure.h"
