#pragma once

#include <QLoggingCategory>

// Failures the program gets past on purpose, without troubling the user (a page list that could
// not be read this time, a cleanup left for later), go to this category, so that a run with
// QT_LOGGING_RULES="vantor.*=true" or the system log still shows what happened and why.
Q_DECLARE_LOGGING_CATEGORY(lcWorkspace)
