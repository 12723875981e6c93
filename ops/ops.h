// The operations subsystem's part of start-up and shut-down.
#pragma once

// Enters the subsystem's start-up and shut-down (catalogue, tables,
// parameters) with app_add_subsystem; call before app_init_instance.
void ops_install();

bool ops_init();
void ops_release();

// Every family's parameters and the profiles to their starting values.
void ops_reset_parameters();
