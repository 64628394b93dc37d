#include "EffectTestSupport.h"
