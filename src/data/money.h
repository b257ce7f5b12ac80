#pragma once

// Amounts of money as the program shows them.
class Money
{
public:
    // Sums of float amounts carry noise below a cent; rounded to cents (and without a negative zero), an
    // amount that nets to nothing shows as 0.00, never as -0.00.
    static double toCents(double value);
};
