#pragma once

// Everything a host needs, in one include.

#include "vantrel/core/Clock.hpp"
#include "vantrel/core/CustomLogFormatter.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/Error.hpp"
#include "vantrel/core/FileLogger.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/core/Paths.hpp"
#include "vantrel/core/ResourceBundle.hpp"
#include "vantrel/core/Strings.hpp"
#include "vantrel/core/VantrelSDK.hpp"
