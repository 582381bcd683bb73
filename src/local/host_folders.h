#pragma once
#include "platform/host_folders.h"
