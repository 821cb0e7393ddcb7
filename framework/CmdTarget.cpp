#include "framework/CmdTarget.h"

bool RouteCommand(int nId, std::initializer_list<CCmdTarget*> route)
{
    for (CCmdTarget* target : route)
        if (target != nullptr && target->OnCmdMsg(nId))
            return true;
    return false;
}
