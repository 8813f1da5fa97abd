// about.h: the about text that every module by the developer shows.
#pragma once

// The one place where the developer's contact address lives.
#define QZ_DEVELOPER_CONTACT "orwin.malvane@qzfm.dev"

#define QZ_DEVELOPER_ABOUT "This module developed by Orwin Malvane\n\n" QZ_DEVELOPER_CONTACT
