<?php
// PayPal's address for confirming payment messages, played on 127.0.0.1 by PHP's built-in
// server: it answers every POST with what the file STUB_DIR/answer holds (VERIFIED or INVALID,
// as the test sets it) and appends each request to STUB_DIR/requests.jsonl (its address and
// body), so the test sees exactly what the plugin posted back. GET /ping answers STUB_TOKEN, by
// which the test knows the port is this stub's.
// Usage: STUB_DIR=DIR STUB_TOKEN=T php -S 127.0.0.1:PORT paypal_stub.php
$dir = getenv( 'STUB_DIR' );
if ( 'GET' === $_SERVER['REQUEST_METHOD'] && '/ping' === parse_url( $_SERVER['REQUEST_URI'], PHP_URL_PATH ) ) {
    echo getenv( 'STUB_TOKEN' );
    return true;
}
$request = array(
    'uri'  => $_SERVER['REQUEST_URI'],
    'type' => $_SERVER['CONTENT_TYPE'] ?? '',
    'body' => file_get_contents( 'php://input' ),
);
file_put_contents( "$dir/requests.jsonl", json_encode( $request, JSON_UNESCAPED_SLASHES ) . "\n", FILE_APPEND | LOCK_EX );
header( 'Content-Type: text/plain' );
echo trim( (string) @file_get_contents( "$dir/answer" ) );
return true;
