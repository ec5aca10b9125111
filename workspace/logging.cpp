#include "workspace/logging.h"

Q_LOGGING_CATEGORY(lcWorkspace, "vantor.workspace")
