// Entry point: filled in with the application object.
int main() {
    return 0;
}
