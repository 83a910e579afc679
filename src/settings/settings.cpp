#include "settings/settings.h"

ConverterSettings gSettings;
