#include "store/logcategories.h"

Q_LOGGING_CATEGORY(lcApp, "velmoran.app", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDevice, "velmoran.device", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDiscovery, "velmoran.discovery", QtInfoMsg)
Q_LOGGING_CATEGORY(lcProject, "velmoran.project", QtInfoMsg)
Q_LOGGING_CATEGORY(lcStore, "velmoran.store", QtInfoMsg)
Q_LOGGING_CATEGORY(lcEvents, "velmoran.events", QtInfoMsg)
