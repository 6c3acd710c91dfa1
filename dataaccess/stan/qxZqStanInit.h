// qxZqStanInit: the services layer's start-up. ZqStanInitialize starts the
// factory registry and calls the Register...() function of every unit of
// this layer that registers factories, in unit order. The program calls it
// once at start (before any ZqCreateInterface) and ZqShutdownManager at the
// end; calling it again after a restart of the registry registers again.
#pragma once

void ZqStanInitialize();
