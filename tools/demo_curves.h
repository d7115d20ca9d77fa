// Example drift polynomials typed into a page and its curves and factors calculated, as a user would.
#pragma once

// Shows `page` (through the sensor selector) and calculates example curves and factors on it.
void ShowDemoCurves(int page);
