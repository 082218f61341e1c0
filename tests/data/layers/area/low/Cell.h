#pragma once
int Cell();
