#pragma once
// Registers every control, menu and component class of the visual library with
// the class registry, so layouts can name them.
void RegisterAllControlClasses();
