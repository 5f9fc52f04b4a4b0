#include "db/Diagnostics.h"
