# Default texts of new options, by text index (153 is reserved and empty).
DEFAULT_TEXTS = [
    "Information.",  # 0
    "Question.",  # 1
    "Error.",  # 2
    "Error occurred",  # 3
    "An error has occurred during program execution.\r\nPlease read the following information for further details.",  # 4
    "General",  # 5
    "General Information",  # 6
    "Call Stack",  # 7
    "Call Stack Information",  # 8
    "Modules",  # 9
    "Modules Information",  # 10
    "Processes",  # 11
    "Processes Information",  # 12
    "Assembler",  # 13
    "Assembler Information",  # 14
    "CPU",  # 15
    "CPU Information",  # 16
    "&OK",  # 17
    "&Terminate",  # 18
    "&Restart",  # 19
    "&Details",  # 20
    "&Help",  # 21
    "&Send this error via Internet",  # 22
    "&Attach a Screenshot image",  # 23
    "&Copy to Clipboard",  # 24
    "Go to the Support Page",  # 25
    "The application has encountered a problem. We are sorry for the inconvenience.",  # 26
    "Restart application.",  # 27
    "Terminate application.",  # 28
    "Please tell us about this problem.",  # 29
    "We have created an error report that you can send to us. We will treat this report as confidential and anonymous.",  # 30
    "To see what data the error report contains,",  # 31
    "click here.",  # 32
    "What were you doing when the problem happened (optional)?",  # 33
    "Email address (optional):",  # 34
    "&Send Error Report",  # 35
    "&Don't Send",  # 36
    "Application",  # 37
    "Start Date",  # 38
    "Name/Description",  # 39
    "Version Number",  # 40
    "Parameters",  # 41
    "Compilation Date",  # 42
    "Up Time",  # 43
    "Exception",  # 44
    "Date",  # 45
    "Address",  # 46
    "Module Name",  # 47
    "Module Version",  # 48
    "Type",  # 49
    "Message",  # 50
    "ID",  # 51
    "Count",  # 52
    "Status",  # 53
    "Note",  # 54
    "User",  # 55
    "ID",  # 56
    "Name",  # 57
    "Email",  # 58
    "Company",  # 59
    "Privileges",  # 60
    "Active Controls",  # 61
    "Form Class",  # 62
    "Form Text",  # 63
    "Control Class",  # 64
    "Control Text",  # 65
    "Computer",  # 66
    "Name",  # 67
    "Total Memory",  # 68
    "Free Memory",  # 69
    "Total Disk",  # 70
    "Free Disk",  # 71
    "System Up Time",  # 72
    "Processor",  # 73
    "Display Mode",  # 74
    "Display DPI",  # 75
    "Video Card",  # 76
    "Printer",  # 77
    "Operating System",  # 78
    "Type",  # 79
    "Build #",  # 80
    "Update",  # 81
    "Language",  # 82
    "Charset",  # 83
    "Network",  # 84
    "IP Address",  # 85
    "Submask",  # 86
    "Gateway",  # 87
    "DNS 1",  # 88
    "DNS 2",  # 89
    "DHCP",  # 90
    "Custom Information",  # 91
    "Address",  # 92
    "Module",  # 93
    "Unit",  # 94
    "Class",  # 95
    "Procedure/Method",  # 96
    "Line",  # 97
    "Main",  # 98
    "Exception Thread",  # 99
    "Running Thread",  # 100
    "Calling Thread",  # 101
    "ID",  # 102
    "Priority",  # 103
    "Class",  # 104
    "Memory Leak",  # 105
    "Data",  # 106
    "Type",  # 107
    "Total size",  # 108
    "Count",  # 109
    "Send.",  # 110
    "Message",  # 111
    "Resolving DNS...",  # 112
    "Login...",  # 113
    "Connecting with server...",  # 114
    "Connected with server.",  # 115
    "Sending message...",  # 116
    "Message sent.",  # 117
    "Select project...",  # 118
    "Searching...",  # 119
    "Modifying...",  # 120
    "Disconnecting...",  # 121
    "Disconnected.",  # 122
    "Request",  # 123
    "Please describe the steps to reproduce the error:",  # 124
    "&OK",  # 125
    "Handle",  # 126
    "Name",  # 127
    "Description",  # 128
    "Version",  # 129
    "Size",  # 130
    "Modified",  # 131
    "Path",  # 132
    "ID",  # 133
    "Name",  # 134
    "Description",  # 135
    "Version",  # 136
    "Memory",  # 137
    "Priority",  # 138
    "Threads",  # 139
    "Path",  # 140
    "Registers",  # 141
    "Stack",  # 142
    "Memory Dump",  # 143
    "The message was sent successfully.",  # 144
    "Sorry, sending the message didn't work.",  # 145
    "These BUG is just closed.\r\nContact the program support to obtain an update.",  # 146
    "Unknown error.",  # 147
    "Invalid login request.",  # 148
    "Invalid search request.",  # 149
    "Invalid selection request.",  # 150
    "Invalid insert request.",  # 151
    "Invalid modify request.",  # 152
    "",  # 153
    "Multi Free memory leak.",  # 154
    "Memory Overrun leak.",  # 155
    "The application seems to be frozen.",  # 156
    "Invalid email.",  # 157
]
assert len(DEFAULT_TEXTS) == 158
