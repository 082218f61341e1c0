// Control ids of the send progress window, shared by its resource script and code.
#pragma once
#define QL_SEND_STATUS 100
#define QL_SEND_PROGRESS 101
