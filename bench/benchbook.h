#pragma once

#include <QString>

// A realistic book for timing: the default master data with ten accounts, and a given number of bills of every
// kind spread over ten years, stored in the order they were entered. Generated once from a fixed seed and kept
// in a folder for later runs.
class BenchBook
{
public:
    // Opens the book with that many bills on the default connection, generating it first when missing.
    static QString open(const QString& folder, int bills);

private:
    static void generate(const QString& path, int bills);
    static void writeMasterData();
    static void writeBills(int bills);
};
