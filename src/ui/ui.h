#pragma once

// Everything a window of the program needs from the framework.

#include "ui/attribute_values.h"
#include "ui/container.h"
#include "ui/control.h"
#include "ui/dialog_builder.h"
#include "ui/edit.h"
#include "ui/label.h"
#include "ui/list.h"
#include "ui/notify.h"
#include "ui/paint_manager.h"
#include "ui/progress.h"
#include "ui/skin_resources.h"
#include "ui/ui_text.h"
#include "ui/win_types.h"
#include "ui/window_impl_base.h"
#include "ui/window_messages.h"
