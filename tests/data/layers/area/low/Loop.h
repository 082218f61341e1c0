#pragma once
int Loop();
