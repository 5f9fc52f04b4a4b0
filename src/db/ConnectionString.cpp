#include "db/ConnectionString.h"
