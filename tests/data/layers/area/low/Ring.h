#pragma once
int Ring();
