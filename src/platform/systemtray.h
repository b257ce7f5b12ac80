#pragma once

#include "platform/replaceable.h"

// Whether the desktop offers a system tray to put the program's icon in. Many Linux desktops have none, and
// the program must then work without one; tests hand in an answer of their own.
class SystemTray : public Replaceable<SystemTray>
{
public:
    virtual ~SystemTray() = default;

    virtual bool isAvailable() const;
};
