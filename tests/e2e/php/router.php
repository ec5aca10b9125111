<?php
// Router for PHP's built-in server: existing files and folders are served as a web server
// would (a .php file or a folder's index.php is run); every other address goes to WordPress.
$root = $_SERVER['DOCUMENT_ROOT'];
$path = rawurldecode( (string) parse_url( $_SERVER['REQUEST_URI'], PHP_URL_PATH ) );
if ( '/' !== $path && file_exists( $root . $path ) ) {
    return false;
}
$_SERVER['SCRIPT_NAME']     = '/index.php';
$_SERVER['PHP_SELF']        = '/index.php';
$_SERVER['SCRIPT_FILENAME'] = $root . '/index.php';
chdir( $root );
require $root . '/index.php';
