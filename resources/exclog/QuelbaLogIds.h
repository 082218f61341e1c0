// Control ids of the logger's report pages (QuelbaLog.rc); shared by the pages'
// code and their templates.
#pragma once

#define QL_PAGE_TITLE 102
#define QL_PAGE_CONTENT 103
