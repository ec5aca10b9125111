<?php
// Runs the filled template's signature, token, amount and payment-rule functions against known
// vectors and prints one JSON list of [passed, what] pairs. Expected signatures are either
// fixed (worked out once with `openssl dgst -sha256 -hmac`) or worked out here with hash_hmac
// from the schemes as Stripe and the webhook's documentation write them, never with the
// template's own functions.
// Usage: php exercise_payments.php FILLED_PLUGIN_DIR IDENTIFIER

list( , $dir, $id ) = $argv + array( null, '', '' );

$results = array();
function expect( $ok, $what ) {
    global $results;
    $results[] = array( (bool) $ok, $what );
}
set_error_handler(
    function ( $level, $message, $file, $line ) {
        expect( false, "no PHP notice or warning: $message ($file:$line)" );
        return true;
    }
);

define( 'ABSPATH', '/' );
define( 'MINUTE_IN_SECONDS', 60 );
define( 'DAY_IN_SECONDS', 86400 );
define( 'YEAR_IN_SECONDS', 31536000 );

// Stand-ins for the few WordPress functions the rules call.
function add_action() {}
function add_filter() {}
function register_activation_hook() {}
function __( $text ) {
    return $text;
}
function is_email( $text ) {
    return is_string( $text ) && false !== filter_var( $text, FILTER_VALIDATE_EMAIL ) ? $text : false;
}
function sanitize_text_field( $text ) {
    return trim( preg_replace( '/[\r\n\t ]+/', ' ', strip_tags( (string) $text ) ) );
}
function sanitize_textarea_field( $text ) {
    return trim( strip_tags( (string) $text ) );
}
function wp_parse_str( $text, &$fields ) {
    parse_str( $text, $fields );
}

foreach ( array( 'signing', 'payments', 'mail', 'pay-paypal', 'pay-stripe', 'pay-webhook', 'buyers' ) as $module ) {
    require "$dir/modules/$module.php";
}
$fn = function ( $suffix ) use ( $id ) {
    return $id . '_' . $suffix;
};
$show = function ( $value ) {
    return json_encode( $value, JSON_UNESCAPED_SLASHES );
};

// Tokens: 256 random bits, and what is stored is the token's SHA-256, never the token.
$token  = $fn( 'new_token' )();
$stored = $fn( 'token_hash' )( $token );
expect( 1 === preg_match( '/^[0-9a-f]{64}$/', $token ) && $token !== $fn( 'new_token' )(), "a token is 64 random hex digits (256 bits): $token" );
expect( hash( 'sha256', $token ) === $stored && $stored !== $token && false === strpos( $stored, substr( $token, 0, 16 ) ), 'the stored value is the SHA-256 of the token and holds nothing of it' );
$shapes = array( $token => true, strtoupper( $token ) => false, substr( $token, 1 ) => false, $token . '0' => false, '' => false );
$wrong  = array();
foreach ( $shapes as $given => $ok ) {
    if ( $ok !== $fn( 'is_token' )( (string) $given ) ) {
        $wrong[] = $given;
    }
}
expect( ! $wrong && ! $fn( 'is_token' )( array( $token ) ) && ! $fn( 'is_token' )( null ), 'only 64 lower-case hex digits are taken for a token' . ( $wrong ? ': ' . $show( $wrong ) : '' ) );

// Stripe-Signature: t=<unix time>,v1=<hex HMAC-SHA256 of "<t>.<payload>">, several v1 allowed.
$secret  = 'whsec_test_secret_0123456789';
$payload = '{"id":"evt_1","type":"checkout.session.completed"}';
$now     = 1700000000;
$v1      = function ( $t, $body, $key = null ) use ( $secret ) {
    return hash_hmac( 'sha256', $t . '.' . $body, null === $key ? $secret : $key );
};
$stripe  = array(
    'the fixed vector (openssl)'                            => array( 't=1700000000,v1=8148423589a812fdc91e48207e03f4da7292dd1e03eb1c297a8caf63643af5f6', $payload, $secret, 'valid' ),
    'one v1'                                                => array( 't=1700000000,v1=' . $v1( 1700000000, $payload ), $payload, $secret, 'valid' ),
    'the right v1 after a wrong one, with a v0'             => array( 't=1700000000,v1=' . $v1( 1700000000, $payload, 'old' ) . ',v1=' . $v1( 1700000000, $payload ) . ',v0=abc', $payload, $secret, 'valid' ),
    'signed 299 seconds ago'                                => array( 't=1699999701,v1=' . $v1( 1699999701, $payload ), $payload, $secret, 'valid' ),
    'signed with another secret'                            => array( 't=1700000000,v1=' . $v1( 1700000000, $payload, 'whsec_other' ), $payload, $secret, 'mismatch' ),
    'several v1, none right'                                => array( 't=1700000000,v1=' . $v1( 1700000000, $payload, 'a' ) . ',v1=' . $v1( 1700000000, $payload, 'b' ), $payload, $secret, 'mismatch' ),
    'a payload changed after signing'                       => array( 't=1700000000,v1=' . $v1( 1700000000, $payload ), str_replace( 'evt_1', 'evt_2', $payload ), $secret, 'mismatch' ),
    'a payload with a line break added'                     => array( 't=1700000000,v1=' . $v1( 1700000000, $payload ), $payload . "\n", $secret, 'mismatch' ),
    'a t moved forward under an old v1'                     => array( 't=1700000000,v1=' . $v1( 1699990000, $payload ), $payload, $secret, 'mismatch' ),
    'the payload signed without "t."'                       => array( 't=1700000000,v1=' . hash_hmac( 'sha256', $payload, $secret ), $payload, $secret, 'mismatch' ),
    'signed 301 seconds ago'                                => array( 't=1699999699,v1=' . $v1( 1699999699, $payload ), $payload, $secret, 'expired' ),
    'signed an hour ago'                                    => array( 't=1699996400,v1=' . $v1( 1699996400, $payload ), $payload, $secret, 'expired' ),
    'signed 301 seconds ahead'                              => array( 't=1700000301,v1=' . $v1( 1700000301, $payload ), $payload, $secret, 'expired' ),
    'no t'                                                  => array( 'v1=' . $v1( 1700000000, $payload ), $payload, $secret, 'malformed' ),
    'no v1, only a right v0'                                => array( 't=1700000000,v0=' . $v1( 1700000000, $payload ), $payload, $secret, 'malformed' ),
    'a t that is not a number'                              => array( 't=17e8,v1=' . $v1( '17e8', $payload ), $payload, $secret, 'malformed' ),
    'an empty header'                                       => array( '', $payload, $secret, 'malformed' ),
    'no header at all'                                      => array( null, $payload, $secret, 'malformed' ),
    'no signing secret set, signed with an empty key'       => array( 't=1700000000,v1=' . $v1( 1700000000, $payload, '' ), $payload, '', 'no_secret' ),
);
foreach ( $stripe as $what => $row ) {
    $got = $fn( 'stripe_signature_status' )( $row[0], $row[1], $row[2], $now );
    expect( $row[3] === $got, "Stripe-Signature, $what: $row[3] (got $got)" );
}

// The generic webhook: X-Webhook-Signature: sha256=<hex HMAC-SHA256 of the raw body>.
$key  = 'hook-secret-0123456789abcdef';
$body = '{"email":"a@example.com","payment_id":"A-1"}';
$sig  = 'sha256=' . hash_hmac( 'sha256', $body, $key );
expect( $sig === $fn( 'webhook_signature' )( $key, $body ), 'the webhook signature is "sha256=" and the hex HMAC-SHA256 of the body' );
$hook = array(
    'the fixed vector (openssl)'    => array( 'sha256=c579cb484b6709e1f5edf22167d76d41c3174b40b2a936e51bcb2edfc9c8302a', $body, $key, 'valid' ),
    'in upper case'                 => array( strtoupper( $sig ), $body, $key, 'valid' ),
    'another secret'                => array( 'sha256=' . hash_hmac( 'sha256', $body, 'other' ), $body, $key, 'mismatch' ),
    'a body changed after signing'  => array( $sig, str_replace( 'A-1', 'A-2', $body ), $key, 'mismatch' ),
    'a body with a space added'     => array( $sig, $body . ' ', $key, 'mismatch' ),
    'the hex alone'                 => array( substr( $sig, 7 ), $body, $key, 'malformed' ),
    'SHA-1 in its place'            => array( 'sha1=' . hash_hmac( 'sha1', $body, $key ), $body, $key, 'malformed' ),
    'no header'                     => array( null, $body, $key, 'malformed' ),
    'no secret set, an empty key'   => array( 'sha256=' . hash_hmac( 'sha256', $body, '' ), $body, '', 'no_secret' ),
);
foreach ( $hook as $what => $row ) {
    $got = $fn( 'webhook_signature_status' )( $row[0], $row[1], $row[2] );
    expect( $row[3] === $got, "webhook signature, $what: $row[3] (got $got)" );
}

// File links: HMAC-SHA256 over buyer, funnel, expiry and file, with the site's secret.
$site    = 'site-secret';
$expires = 1700086400;
$signed  = $fn( 'file_signature' )( $site, 7, 42, 'guide.pdf', $expires );
expect( '308e69e13afaffd205964f52fb749b451dc3074e06eafc2123e131e1aa70840b' === $signed && hash_hmac( 'sha256', "file-link\n7\n42\n$expires\nguide.pdf", $site ) === $signed, "a file link's signature is the HMAC-SHA256 of buyer, funnel, expiry and file: $signed" );
$links = array(
    'within its window'              => array( 7, 42, 'guide.pdf', (string) $expires, $signed, $expires - 1, 'valid' ),
    'in upper case'                  => array( 7, 42, 'guide.pdf', (string) $expires, strtoupper( $signed ), $expires - 1, 'valid' ),
    'at its expiry'                  => array( 7, 42, 'guide.pdf', (string) $expires, $signed, $expires, 'expired' ),
    'a day after'                    => array( 7, 42, 'guide.pdf', (string) $expires, $signed, $expires + 86400, 'expired' ),
    'with another file name'         => array( 7, 42, 'bonus.pdf', (string) $expires, $signed, $expires - 1, 'invalid' ),
    'with the file in another case'  => array( 7, 42, 'Guide.pdf', (string) $expires, $signed, $expires - 1, 'invalid' ),
    'of another buyer'               => array( 8, 42, 'guide.pdf', (string) $expires, $signed, $expires - 1, 'invalid' ),
    'of another funnel'              => array( 7, 43, 'guide.pdf', (string) $expires, $signed, $expires - 1, 'invalid' ),
    'with its expiry moved on'       => array( 7, 42, 'guide.pdf', (string) ( $expires + 86400 ), $signed, $expires - 1, 'invalid' ),
    'expired and changed'            => array( 7, 42, 'bonus.pdf', (string) $expires, $signed, $expires + 1, 'invalid' ),
    'with an expiry that is a list'  => array( 7, 42, 'guide.pdf', array( $expires ), $signed, $expires - 1, 'invalid' ),
    'with an expiry of "1e10"'       => array( 7, 42, 'guide.pdf', '1e10', $signed, $expires - 1, 'invalid' ),
    'without a signature'            => array( 7, 42, 'guide.pdf', (string) $expires, null, $expires - 1, 'invalid' ),
);
foreach ( $links as $what => $row ) {
    $got = $fn( 'file_signature_status' )( $site, $row[0], $row[1], $row[2], $row[3], $row[4], $row[5] );
    expect( $row[6] === $got, "a file link $what: $row[6] (got $got)" );
}
expect( 'invalid' === $fn( 'file_signature_status' )( 'another-site', 7, 42, 'guide.pdf', (string) $expires, $signed, $expires - 1 ), "a file link signed with another site's secret is invalid" );
expect( 'invalid' === $fn( 'file_signature_status' )( '', 7, 42, 'guide.pdf', (string) $expires, hash_hmac( 'sha256', "file-link\n7\n42\n$expires\nguide.pdf", '' ), $expires - 1 ), 'no file link is valid without a secret' );

// Amounts: decimals worked out on the digits, in thousandths.
$amounts = array( '9.90' => 9900, '9.9' => 9900, '9' => 9000, '0.001' => 1, '1000.005' => 1000005, '9.9999' => null, '-9.90' => null, '9,90' => null, '1e3' => null, ' 9.90' => null, '9.' => null, '' => null );
$wrong   = array();
foreach ( $amounts as $text => $value ) {
    if ( $value !== $fn( 'amount_value' )( (string) $text ) ) {
        $wrong[] = "$text -> " . $show( $fn( 'amount_value' )( (string) $text ) );
    }
}
expect( ! $wrong && null === $fn( 'amount_value' )( array( '9.90' ) ) && null === $fn( 'amount_value' )( 9.9 ), 'amounts are read as decimals with a dot, up to three places, and nothing else' . ( $wrong ? ': ' . implode( ', ', $wrong ) : '' ) );
$minor = array( array( 990, 'eur', 9900 ), array( 1000, 'JPY', 1000000 ), array( 9900, 'KWD', 9900 ), array( '990', 'EUR', null ), array( 9.9, 'EUR', null ) );
$wrong = array();
foreach ( $minor as $row ) {
    if ( $row[2] !== $fn( 'minor_units_value' )( $row[0], $row[1] ) ) {
        $wrong[] = $show( $row );
    }
}
expect( ! $wrong, "Stripe's smallest units become the same thousandths: cents, whole yen, thousandths of a dinar" . ( $wrong ? ': ' . implode( ', ', $wrong ) : '' ) );

// Settings: each value in its canonical form; a value that is not valid keeps the old one and is named.
$defaults = $fn( 'default_settings' )();
$clean    = function ( $changes ) use ( $fn, $defaults ) {
    return $fn( 'clean_settings' )( array_merge( $defaults, $changes ), $defaults );
};
$settings_rows = array(
    'a price with a comma'              => array( array( 'price' => '9,90' ), 'price', '9.90', false ),
    'a whole price'                     => array( array( 'price' => '12' ), 'price', '12.00', false ),
    'a price that is no number'         => array( array( 'price' => '9.90 EUR' ), 'price', '', true ),
    'a price of nothing'                => array( array( 'price' => '0.00' ), 'price', '', true ),
    'a currency in lower case'          => array( array( 'currency' => ' eur ' ), 'currency', 'EUR', false ),
    'a currency of four letters'        => array( array( 'currency' => 'EURO' ), 'currency', 'USD', true ),
    'a file-link window of a minute'    => array( array( 'link_window' => '60' ), 'link_window', 86400, true ),
    'a file-link window of an hour'     => array( array( 'link_window' => '3600' ), 'link_window', 3600, false ),
    'downloads per file of -1'          => array( array( 'downloads_per_file' => '-1' ), 'downloads_per_file', 10, true ),
    'an e-mail text without {link}'     => array( array( 'mail_text' => 'Thanks!' ), 'mail_text', $defaults['mail_text'], true ),
    'a PayPal account that is no email' => array( array( 'paypal_email' => 'seller at example' ), 'paypal_email', '', true ),
    'a PayPal merchant id'              => array( array( 'paypal_email' => 'ABCDEFGHJK123' ), 'paypal_email', 'ABCDEFGHJK123', false ),
    'a secret with a space in it'       => array( array( 'stripe_secret' => 'whsec_abc def0123456789' ), 'stripe_secret', '', true ),
);
foreach ( $settings_rows as $what => $row ) {
    $got = $clean( $row[0] );
    expect( $row[2] === $got['settings'][ $row[1] ] && $row[3] === isset( $got['problems'][ $row[1] ] ), "settings, $what: " . substr( $show( $row[2] ), 0, 40 ) . ( $row[3] ? ', named as a problem' : '' ) . ' (got ' . substr( $show( $got['settings'][ $row[1] ] ), 0, 40 ) . ', problems ' . $show( array_keys( $got['problems'] ) ) . ')' );
}
expect( ! $clean( array() )['problems'] && 86400 === $defaults['link_window'] && 0 === $defaults['access_expiry'] && 10 === $defaults['downloads_per_file'], 'the defaults are valid: file links for 24 hours, access for ever, 10 downloads per file' );

// PayPal: a confirmed message gives access only when every rule holds.
$funnel = array_merge( $defaults, array( 'paypal_email' => 'seller@example.com', 'item' => 'balcony-1', 'price' => '9.90', 'currency' => 'EUR' ) );
$ipn    = array(
    'payment_status' => 'Completed',
    'receiver_email' => 'seller@example.com',
    'business'       => 'seller@example.com',
    'receiver_id'    => 'SELLER0000001',
    'item_number'    => 'balcony-1',
    'mc_gross'       => '9.90',
    'mc_currency'    => 'EUR',
    'txn_id'         => '61E67681CH3238416',
    'payer_email'    => 'buyer@example.net',
    'custom'         => 'claim-abc',
);
$paypal = array(
    'a completed payment of the funnel'                => array( array(), array(), 'paid' ),
    'paid to the funnel\'s secondary address'          => array( array( 'receiver_email' => 'primary@example.com', 'business' => 'Seller@Example.com' ), array(), 'paid' ),
    'paid to the funnel\'s merchant id'                => array( array( 'receiver_email' => 'primary@example.com', 'business' => 'primary@example.com' ), array( 'paypal_email' => 'SELLER0000001' ), 'paid' ),
    'an amount written with one decimal'               => array( array( 'mc_gross' => '9.9' ), array(), 'paid' ),
    'paid to another account'                          => array( array( 'receiver_email' => 'thief@example.com', 'business' => 'thief@example.com', 'receiver_id' => 'THIEF00000001' ), array(), 'receiver' ),
    'a receiver sent as a list'                        => array( array( 'receiver_email' => array( 'seller@example.com' ), 'business' => '', 'receiver_id' => '' ), array(), 'receiver' ),
    'a smaller amount'                                 => array( array( 'mc_gross' => '0.99' ), array(), 'amount' ),
    'a thousandth more'                                => array( array( 'mc_gross' => '9.901' ), array(), 'amount' ),
    'an amount that is no number'                      => array( array( 'mc_gross' => '9.90 EUR' ), array(), 'amount' ),
    'another currency'                                 => array( array( 'mc_currency' => 'USD' ), array(), 'currency' ),
    'another item'                                     => array( array( 'item_number' => 'balcony-2' ), array(), 'item' ),
    'no item, where the funnel has one'                => array( array( 'item_number' => '' ), array(), 'item' ),
    'no transaction id'                                => array( array( 'txn_id' => '' ), array(), 'txn' ),
    'a funnel without a price'                         => array( array(), array( 'price' => '' ), 'unpriced' ),
    'a funnel without a PayPal account'                => array( array(), array( 'paypal_email' => '' ), 'unset' ),
    'a pending payment'                                => array( array( 'payment_status' => 'Pending' ), array(), 'status' ),
    'no status'                                        => array( array( 'payment_status' => '' ), array(), 'status' ),
    'a refund'                                         => array( array( 'payment_status' => 'Refunded', 'parent_txn_id' => '61E67681CH3238416', 'txn_id' => '9XX', 'mc_gross' => '-9.90' ), array(), 'refunded' ),
    'a reversal'                                       => array( array( 'payment_status' => 'Reversed', 'parent_txn_id' => '61E67681CH3238416' ), array(), 'reversed' ),
    'a refund that names no payment'                   => array( array( 'payment_status' => 'Refunded' ), array(), 'txn' ),
);
foreach ( $paypal as $what => $row ) {
    $got = $fn( 'paypal_verdict' )( array_merge( $ipn, $row[0] ), array_merge( $funnel, $row[1] ) );
    expect( $row[2] === $got['reason'], "PayPal, $what: $row[2] (got {$got['verdict']} {$got['reason']}: {$got['detail']})" );
}
$granted = $fn( 'paypal_verdict' )( $ipn, $funnel );
expect( array( 'grant', '61E67681CH3238416', 'buyer@example.net', 'claim-abc' ) === array( $granted['verdict'], $granted['payment_id'], $granted['email'], $granted['claim'] ), 'a PayPal payment gives access to its payer, under its transaction id, with its custom value as the claim reference' );
$refund = $fn( 'paypal_verdict' )( array_merge( $ipn, $paypal['a refund'][0] ), $funnel );
expect( 'revoke' === $refund['verdict'] && '61E67681CH3238416' === $refund['payment_id'], 'a PayPal refund revokes the buyer of the original transaction' );

// Stripe: a paid Checkout Session of the funnel's amount and currency; a full refund revokes.
$session = array(
    'type' => 'checkout.session.completed',
    'data' => array(
        'object' => array(
            'id'               => 'cs_test_a1',
            'payment_status'   => 'paid',
            'amount_total'     => 990,
            'currency'         => 'eur',
            'payment_intent'   => 'pi_3abc',
            'customer_details' => array( 'email' => 'buyer@example.net' ),
        ),
    ),
);
$with   = function ( $event, $changes ) {
    $event['data']['object'] = array_merge( $event['data']['object'], $changes );
    return $event;
};
$charge = array(
    'type' => 'charge.refunded',
    'data' => array( 'object' => array( 'id' => 'ch_1', 'payment_intent' => 'pi_3abc', 'refunded' => true ) ),
);
$stripe_rows = array(
    'a paid session of the funnel'                    => array( $session, $funnel, 'paid' ),
    'a delayed payment that succeeded'                => array( array_merge( $session, array( 'type' => 'checkout.session.async_payment_succeeded' ) ), $funnel, 'paid' ),
    'a session not paid yet'                          => array( $with( $session, array( 'payment_status' => 'unpaid' ) ), $funnel, 'status' ),
    'a cent less'                                     => array( $with( $session, array( 'amount_total' => 989 ) ), $funnel, 'amount' ),
    'an amount given as text'                         => array( $with( $session, array( 'amount_total' => '990' ) ), $funnel, 'amount' ),
    'another currency'                                => array( $with( $session, array( 'currency' => 'usd' ) ), $funnel, 'currency' ),
    'whole yen'                                       => array( $with( $session, array( 'currency' => 'jpy', 'amount_total' => 1000 ) ), array_merge( $funnel, array( 'currency' => 'JPY', 'price' => '1000' ) ), 'paid' ),
    'a funnel without a price'                        => array( $session, array_merge( $funnel, array( 'price' => '' ) ), 'unpriced' ),
    'a full refund'                                   => array( $charge, $funnel, 'refunded' ),
    'a partial refund'                                => array( $with( $charge, array( 'refunded' => false ) ), $funnel, 'partial' ),
    'another event'                                   => array( array_merge( $session, array( 'type' => 'payment_intent.created' ) ), $funnel, 'event' ),
    'no event at all'                                 => array( 'checkout.session.completed', $funnel, 'event' ),
);
foreach ( $stripe_rows as $what => $row ) {
    $got = $fn( 'stripe_verdict' )( $row[0], $row[1] );
    expect( $row[2] === $got['reason'], "Stripe, $what: $row[2] (got {$got['verdict']} {$got['reason']}: {$got['detail']})" );
}
$granted = $fn( 'stripe_verdict' )( $session, $funnel );
$no_pi   = $fn( 'stripe_verdict' )( $with( $session, array( 'payment_intent' => null, 'customer_details' => null, 'customer_email' => 'other@example.net' ) ), $funnel );
expect( array( 'pi_3abc', 'buyer@example.net', 'cs_test_a1' ) === array( $granted['payment_id'], $granted['email'], $granted['claim'] ), 'a Stripe payment gives access to its customer under its Payment Intent, with the session as the claim reference' );
expect( array( 'cs_test_a1', 'other@example.net' ) === array( $no_pi['payment_id'], $no_pi['email'] ), 'a session without a Payment Intent is known by its own id, and its customer_email serves' );

// The generic webhook's body.
$webhook_rows = array(
    'an order'                       => array( '{"email":"buyer@example.net","payment_id":"A-1"}', 'grant' ),
    'an order as a form'             => array( 'email=buyer%40example.net&payment_id=A-1&send_mail=0', 'grant' ),
    'an order without its id'        => array( '{"email":"buyer@example.net"}', 'payment_id' ),
    'an order with a bad address'    => array( '{"email":"buyer","payment_id":"A-1"}', 'email' ),
    'a revocation'                   => array( '{"action":"revoke","payment_id":"A-1"}', 'revoke' ),
    'an unknown action'              => array( '{"action":"delete","payment_id":"A-1","email":"buyer@example.net"}', 'action' ),
    'a list instead of an id'        => array( '{"email":"buyer@example.net","payment_id":["A-1"]}', 'payment_id' ),
);
foreach ( $webhook_rows as $what => $row ) {
    $got = $fn( 'webhook_verdict' )( $fn( 'webhook_fields' )( $row[0] ) );
    expect( $row[1] === $got['reason'], "webhook, $what: $row[1] (got {$got['verdict']} {$got['reason']})" );
}
$form = $fn( 'webhook_verdict' )( $fn( 'webhook_fields' )( $webhook_rows['an order as a form'][0] ) );
$json = $fn( 'webhook_verdict' )( $fn( 'webhook_fields' )( '{"email":"buyer@example.net","payment_id":"A-1","send_mail":false}' ) );
expect( 'buyer@example.net' === $form['email'] && false === $form['send_mail'] && false === $json['send_mail'] && true === $fn( 'webhook_verdict' )( $fn( 'webhook_fields' )( $webhook_rows['an order'][0] ) )['send_mail'], 'the webhook mails the link unless told not to, in JSON or a form' );

// The download limit, as counted before a file goes out: downloads from the first byte, and
// bytes (ranges included) against what that many whole downloads hold.
$limit_rows = array(
    'nothing had yet'                               => array( 0, 0, 2, 1000, true ),
    'one download of two'                           => array( 1, 1000, 2, 1000, true ),
    'two downloads of two'                          => array( 2, 2000, 2, 1000, false ),
    'two downloads of two, both cut short'          => array( 2, 10, 2, 1000, false ),
    'ranges one byte short of two whole files'      => array( 0, 1999, 2, 1000, true ),
    'ranges of as many bytes as two whole files'    => array( 0, 2000, 2, 1000, false ),
    'one download, ranges of a second file'          => array( 1, 2000, 2, 1000, false ),
    'no limit, many downloads'                      => array( 50, 50000, 0, 1000, true ),
    'an empty file, counted by downloads only'      => array( 1, 0, 2, 0, true ),
    'an empty file downloaded twice of two'         => array( 2, 0, 2, 0, false ),
);
foreach ( $limit_rows as $what => $row ) {
    $got = $fn( 'download_allowed' )( $row[0], $row[1], $row[2], $row[3] );
    expect( $row[4] === $got, "download limit, $what: " . ( $row[4] ? 'allowed' : 'refused' ) );
}

// The e-mail: each placeholder filled once; a value that reads like one stays as it is.
$filled = $fn( 'fill_mail' )( "{funnel}\n{link} {link}\n{unknown}", array( '{funnel}' => 'Get {link} now', '{link}' => 'http://x/?t=1' ) );
expect( "Get {link} now\nhttp://x/?t=1 http://x/?t=1\n{unknown}" === $filled, 'the e-mail fills {link} and {funnel} where they stand, and only there: ' . $show( $filled ) );

echo json_encode( $results );
