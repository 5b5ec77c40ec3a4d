#pragma once
// Message maps: the macros expand to one ProcessWindowMessage override per
// class. An entry that matches sets the result and stops; a message no entry
// takes goes to the base class's map, and in the end to default processing.

#define BEGIN_MSG_MAP(theClass)                                                                              \
  protected:                                                                                                 \
    bool ProcessWindowMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override            \
    {                                                                                                        \
        (void)wParam;                                                                                        \
        (void)lParam;                                                                                        \
        (void)lResult;

// LRESULT func(WPARAM, LPARAM)
// A handler may call SetMsgHandled(false) to pass the message on to default
// processing after all.
#define MESSAGE_HANDLER(msg, func)                                                                           \
    if (uMsg == (msg))                                                                                       \
    {                                                                                                        \
        SetMsgHandled(true);                                                                                 \
        lResult = func(wParam, lParam);                                                                      \
        if (IsMsgHandled())                                                                                  \
            return true;                                                                                     \
    }

// void func() for a command notification `code` from control `id`.
#define COMMAND_HANDLER(id, code, func)                                                                      \
    if (uMsg == WM_COMMAND && LOWORD(wParam) == (id) && HIWORD(wParam) == (code))                            \
    {                                                                                                        \
        func();                                                                                              \
        lResult = 0;                                                                                         \
        return true;                                                                                         \
    }

#define COMMAND_ID_HANDLER(id, func) COMMAND_HANDLER(id, BN_CLICKED, func)

#define END_MSG_MAP(baseClass)                                                                               \
    return baseClass::ProcessWindowMessage(uMsg, wParam, lParam, lResult);                                   \
    }                                                                                                        \
                                                                                                             \
  public:

// Notifications a parent reflects back to the control that sent them, so a
// control class can handle its own clicks and colours.
#define OCM_BASE (WM_USER + 0x1c00)
#define OCM_COMMAND (OCM_BASE + WM_COMMAND)
#define OCM_CTLCOLORSTATIC (OCM_BASE + WM_CTLCOLORSTATIC)
