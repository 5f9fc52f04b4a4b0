#include "workflow/Texts.h"
